#include "line_check.h"

#include "kestrix/linux_serial.h"
#include "receiver.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace kestrix::cli {
namespace {

using clock = std::chrono::steady_clock;

// Every state is held as long as in a real transmission.
constexpr auto hold = std::chrono::nanoseconds(625LL * 1'000'000'000 / ticks_per_second);

std::string milliseconds(double ms) {
    char text[32];
    std::snprintf(text, sizeof text, ms < 10 ? "%.3f ms" : "%.1f ms", ms);
    return text;
}

}  // namespace

int check_port(const options& o, std::ostream& out, std::ostream& err) {
    const std::int16_t port = o.port.value_or(1);
    if (o.device.empty() && device_for_port(port).empty()) {
        err << "kestrix-send: error " << errc::invalid_port << ": COM" << port
            << " is an invalid port number (1 to 4 are /dev/ttyS0 to /dev/ttyS3, 5 and up /dev/ttyUSB0 and up)\n";
        return 1;
    }
    const std::string name = o.device.empty() ? "COM" + std::to_string(port) + " (" + device_for_port(port) + ")" : o.device;
    const auto verdict = [&](bool can, const std::string& why) {
        out << "Verdict: " << name << (can ? " can drive the Firecracker" : " cannot drive the Firecracker") << why
            << ".\n";
        return can ? 0 : 1;
    };
    out << "Checking " << name << ".\n";

    std::unique_ptr<serial_line> line = o.device.empty() ? make_linux_serial_line() : make_linux_serial_line(o.device);
    std::vector<double> changes;  // milliseconds each line change took
    bool reported = true, followed = true;
    try {
        line->set_port(port);
        line->set_settings("4800,N,8,1");
        line->open();
        out << "Opened at 4800,N,8,1.\n";
        bool dtr = true, rts = true;
        const auto change = [&](bool is_dtr, bool high) {
            const auto start = clock::now();
            is_dtr ? line->set_dtr(high) : line->set_rts(high);
            const auto done = clock::now();
            changes.push_back(std::chrono::duration<double, std::milli>(done - start).count());
            (is_dtr ? dtr : rts) = high;
            const std::optional<line_levels> seen = reported_lines(*line);
            if (!seen) reported = false;
            else if (seen->dtr != dtr || seen->rts != rts) followed = false;
            while (clock::now() - done < hold) {
            }
        };
        // Eight 1 bits, then eight 0 bits: no frame starts with them.
        for (bool is_dtr : {true, false})
            for (int pulse = 0; pulse < 8; ++pulse) change(is_dtr, false), change(is_dtr, true);
        line->close();
    } catch (const error& e) {
        err << "kestrix-send: error " << e.number() << ": " << e.what() << std::endl;
        if (e.number() == errc::line_change_failed)
            return verdict(false, ": it refused to change DTR or RTS (error 8020)");
        if (e.number() == errc::line_parameters)
            return verdict(false, ": the line settings were refused (error 8015)");
        return verdict(false, ": it could not be opened (error " + std::to_string(e.number()) + ")");
    }

    out << "DTR and RTS: " << changes.size() << " changes accepted.\n";
    if (!reported) out << "Read-back: not reported by this driver, so the levels could not be confirmed.\n";
    else if (followed) out << "Read-back: the lines followed every change.\n";
    else out << "Read-back: the lines did not follow the changes.\n";

    std::vector<double> sorted = changes;
    std::sort(sorted.begin(), sorted.end());
    const double fastest = sorted.front(), typical = sorted[sorted.size() / 2], slowest = sorted.back();
    out << "Each change took " << milliseconds(fastest) << " at least, " << milliseconds(typical) << " typically, "
        << milliseconds(slowest) << " at most.\n";

    // One ON or OFF command: 80 pulses of two changes, every state held 625
    // ticks, then the closing wait of 750000 ticks.
    const double tick_ms = 1000.0 / static_cast<double>(ticks_per_second);
    const double ideal = (160 * 625 + 750000) * tick_ms;
    const double real = ideal + 160 * typical;
    char figures[160];
    std::snprintf(figures, sizeof figures, "One ON or OFF command takes %.0f ms instead of %.0f ms (%.1fx as long)",
                  real, ideal, real / ideal);
    // A standby this long ends a frame in progress: slower changes break frames apart.
    const double too_slow = static_cast<double>(sim::frame_timeout_ticks - 625) * tick_ms;
    if (slowest >= too_slow) {
        out << figures << ", but a change of " << milliseconds(slowest) << " breaks the frame apart.\n";
        return verdict(false, ": its line changes are too slow");
    }
    out << figures << ", within the device's timing.\n";
    if (reported && !followed) return verdict(false, ": DTR and RTS do not follow what is asked of them");
    return verdict(true, reported ? "" : " as far as can be told without read-back");
}

}  // namespace kestrix::cli
