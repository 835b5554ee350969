#include "dry_run_report.h"

#include "kestrix/controlcm.h"
#include "simulated_line.h"

#include <algorithm>
#include <cstdio>
#include <limits>

namespace kestrix::cli {
namespace {

std::string duration(std::uint64_t ticks) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%llu ticks (%.1f us)", static_cast<unsigned long long>(ticks),
                  static_cast<double>(ticks) * 1e6 / static_cast<double>(ticks_per_second));
    return buf;
}

}  // namespace

bool print_dry_run(std::ostream& out, const sim::receiver& rx) {
    out << "Dry run: the simulated transmitter received\n";
    const auto& frames = rx.frames();
    for (std::size_t i = 0; i < frames.size();) {
        std::size_t j = i;
        while (j < frames.size() && frames[j].bytes == frames[i].bytes) ++j;
        out << "  " << sim::hex(frames[i].bytes) << "  x" << (j - i) << "  " << sim::describe(frames[i].bytes) << "\n";
        i = j;
    }
    if (frames.empty()) out << "  no frames\n";

    std::uint64_t low = std::numeric_limits<std::uint64_t>::max(), standby = low;
    for (const auto& p : rx.pulses()) {
        low = std::min(low, p.low_ticks);
        if (p.standby_ticks) standby = std::min(standby, p.standby_ticks);
    }
    if (!rx.pulses().empty())
        out << rx.pulses().size() << " pulses; shortest low " << duration(low) << ", shortest standby "
            << duration(standby) << "\n";

    const std::uint64_t start = rx.pulses().empty() ? 0 : rx.pulses().front().start;
    for (const auto& v : rx.violations()) {
        char at[32];
        std::snprintf(at, sizeof at, "%+.3f ms", (static_cast<double>(v.tick) - static_cast<double>(start)) * 1e3 /
                                                     static_cast<double>(ticks_per_second));
        out << "Timing fault at " << at << ": " << v.what << "\n";
    }
    if (rx.violations().empty()) out << "No timing faults.\n";
    return rx.violations().empty();
}

}  // namespace kestrix::cli
