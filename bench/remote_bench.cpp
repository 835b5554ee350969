// The remote's bridge road on this machine, through a real mosquitto and
// a real kestrix-bridge whose transmitter is a pseudo-terminal under the
// ioctl shim: how long from a press to the first DTR/RTS edge, and how
// much CPU the remote uses while it waits, connected, with nothing to do.
//
//   build-test/bin/vantrel_remote_bench [idle-seconds, default 30]
#include "bridge_road.h"
#include "press_notices.h"
#include "testkit/broker.h"
#include "testkit/pseudo_terminal.h"
#include "testkit/shim.h"

#include <kestrix/controlcm.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <signal.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>

using namespace kestrix::testing;

namespace {

class Silent final : public vantrel::Notifier {
public:
    void notify(const QString&, const QString&) override {}
};

// Runs the event loop until `done`, for `seconds` at most; `done` is
// looked at after each event and every millisecond.
bool serveUntil(const std::function<bool()>& done, double seconds) {
    QEventLoop loop;
    QTimer look, limit;
    QObject::connect(&look, &QTimer::timeout, &loop, [&] {
        if (done()) loop.quit();
    });
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    look.start(1);
    limit.start(static_cast<int>(seconds * 1000));
    if (!done()) loop.exec();
    return done();
}

double cpuSeconds() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double percentile(std::vector<double> v, double q) {
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<std::size_t>(q * static_cast<double>(v.size() - 1) + 0.5))];
}

}  // namespace

int main(int argc, char** argv) {
    const int idle = argc > 1 ? std::atoi(argv[1]) : 30;
    QCoreApplication app(argc, argv);
    if (!broker::available()) {
        std::fprintf(stderr, "mosquitto is not installed\n");
        return 2;
    }
    broker mqtt;
    pseudo_terminal line;
    scratch folder("vantrel-remote-bench");
    const std::string config = folder.write("bridge.toml", "[transmitter]\ndevice = \"" + line.slave +
                                                               "\"\n[mqtt]\nhost = \"127.0.0.1\"\nport = " + std::to_string(mqtt.port()) + "\n");
    const std::string log = folder / "shim.log";
    child bridge({{KESTRIX_BRIDGE, "--config", config},
                  shim_env(log, {{"KESTRIX_SHIM_WATCH", line.slave}, {"XDG_STATE_HOME", folder / "state"}})});
    if (!bridge.says("connected to the broker")) return 1;

    vantrel::PressNotices notices;
    notices.notifier = std::make_unique<Silent>();
    vantrel::BridgeAddress where;
    where.host = QStringLiteral("127.0.0.1");
    where.port = mqtt.port();
    vantrel::BridgeRoad road(where, notices);
    road.showHouse("A");
    if (!serveUntil([&] { return road.summary().endsWith(QLatin1String(": online")); }, 30)) return 1;

    // One press at a time, each awaited until the bridge says the lamp's state.
    std::vector<long long> pressed;
    vantrel::ControllerSettings record;
    record.HouseCode = "A";
    for (int i = 0; i < 50; ++i) {
        const int unit = i % 16 + 1;
        const bool on = (i / 16) % 2 == 0;
        record.DeviceCode = std::to_string(unit);
        pressed.push_back(monotonic_ns());
        road.press(record, on ? kestrix::cmd_on : kestrix::cmd_off);
        if (!serveUntil([&] { return road.isOn(unit) == on; }, 10)) return 1;
    }
    serveUntil([] { return false; }, 1);  // what was in flight settles

    // Idle: nothing but the event loop, no timer of this program's own.
    const double before = cpuSeconds();
    QEventLoop rest;
    QTimer::singleShot(idle * 1000, &rest, &QEventLoop::quit);
    rest.exec();
    const double cpuIdle = cpuSeconds() - before;
    bridge.finish(SIGTERM);

    const auto rec = replay_shim_log(log);
    std::vector<double> latency;
    for (long long t : pressed) {
        const auto first = std::upper_bound(rec.edges_ns.begin(), rec.edges_ns.end(), t);
        if (first != rec.edges_ns.end()) latency.push_back(static_cast<double>(*first - t) / 1e6);
    }
    std::printf("press -> first edge through the bridge, %zu presses: median %.2f ms, p99 %.2f ms, max %.2f ms\n", latency.size(),
                percentile(latency, 0.5), percentile(latency, 0.99), percentile(latency, 1.0));
    std::printf("remote's CPU while connected and idle for %d s: %.3f s (%.3f %%)\n", idle, cpuIdle, 100 * cpuIdle / idle);
    return 0;
}
