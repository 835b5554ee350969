// kestrix-bridge on this machine, through a real mosquitto and the ioctl
// shim on a pseudo-terminal: how long from a message published to the
// first DTR/RTS edge, what a burst of 100 commands for 10 units sends, how
// much memory the bridge holds and how much CPU it uses while idle.
//
//   build-test/bin/kestrix_bridge_bench [idle-seconds, default 60]
#include "testkit/broker.h"
#include "testkit/pseudo_terminal.h"
#include "testkit/shim.h"

#include <nlohmann/json.hpp>

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

using namespace kestrix::testing;

namespace {

long status_kb(pid_t pid, const char* field) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind(field, 0) == 0) return std::stol(line.substr(std::string(field).size()));
    return -1;
}

double cpu_seconds(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string skip;
    for (int i = 3; i < 14; ++i) fields >> skip;
    long utime = 0, stime = 0;
    fields >> utime >> stime;
    return static_cast<double>(utime + stime) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

double percentile(std::vector<double> v, double q) {
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<std::size_t>(q * static_cast<double>(v.size() - 1) + 0.5))];
}

}  // namespace

int main(int argc, char** argv) {
    const int idle = argc > 1 ? std::atoi(argv[1]) : 60;
    if (!broker::available()) {
        std::fprintf(stderr, "mosquitto is not installed\n");
        return 2;
    }
    broker mqtt;
    pseudo_terminal line;
    scratch folder("kestrix-bridge-bench");
    const std::string config = folder.write("bridge.toml", "[transmitter]\ndevice = \"" + line.slave +
                                                               "\"\n[mqtt]\nhost = \"127.0.0.1\"\nport = " +
                                                               std::to_string(mqtt.port()) + "\nclient_id = \"bench\"\n");
    const std::string log = folder / "shim.log";
    child bridge({{KESTRIX_BRIDGE, "--config", config},
                  shim_env(log, {{"KESTRIX_SHIM_WATCH", line.slave}, {"XDG_STATE_HOME", folder / "state"}})});
    if (!bridge.says("connected to the broker")) return 1;
    mqtt_listener hub(mqtt.port(), {"kestrix/#"});
    // The bridge publishes its status after subscribing: once it is here,
    // no command can come too early.
    if (!hub.next("kestrix/bridge/status")) return 1;

    // One command at a time: published, then its state awaited.
    std::vector<long long> published;
    for (int i = 0; i < 30; ++i) {
        const std::string unit = std::to_string(i % 16 + 1);
        published.push_back(monotonic_ns());
        hub.publish("kestrix/a/" + unit + "/set", i % 2 ? "OFF" : "ON");
        hub.next("kestrix/a/" + unit + "/state");
    }
    // A burst: ten rounds of ON and OFF for ten units, as fast as it goes.
    for (int round = 0; round < 10; ++round)
        for (int unit = 1; unit <= 10; ++unit) hub.publish("kestrix/c/" + std::to_string(unit) + "/set", round % 2 ? "OFF" : "ON");
    hub.next("kestrix/bridge/status", 60, [](const kestrix::mqtt::message& m) {
        const auto s = nlohmann::json::parse(m.payload);
        return s["queue"] == 0 && s["sent"] >= 40;
    });
    std::this_thread::sleep_for(std::chrono::seconds(2));  // the last command in flight

    const long rss = status_kb(bridge.pid(), "VmHWM:");
    const double cpu_before = cpu_seconds(bridge.pid());
    std::this_thread::sleep_for(std::chrono::seconds(idle));
    const double cpu_idle = cpu_seconds(bridge.pid()) - cpu_before;
    bridge.finish(SIGTERM);

    const auto rec = replay_shim_log(log);
    std::vector<double> latency_ms;
    for (long long t : published) {
        const auto first = std::upper_bound(rec.edges_ns.begin(), rec.edges_ns.end(), t);
        if (first != rec.edges_ns.end()) latency_ms.push_back(static_cast<double>(*first - t) / 1e6);
    }
    const std::size_t single_frames = 30 * 2, burst_commands = (rec.rx.frames().size() - single_frames) / 2;
    std::printf("published -> first edge, %zu commands: median %.2f ms, p99 %.2f ms, max %.2f ms\n", latency_ms.size(),
                percentile(latency_ms, 0.5), percentile(latency_ms, 0.99), percentile(latency_ms, 1.0));
    std::printf("burst of 100 commands for 10 units: %zu commands sent, %zu timing faults (overlaps included)\n",
                burst_commands, rec.rx.violations().size());
    std::printf("bridge peak RSS: %.1f MB\n", static_cast<double>(rss) / 1024);
    std::printf("CPU while idle for %d s: %.2f s (%.3f %%)\n", idle, cpu_idle, 100 * cpu_idle / idle);
    return 0;
}
