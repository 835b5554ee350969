#include "vcd_line.h"

#include <ctime>

namespace kestrix::cli {

void vcd_line::open() {
    const bool was_open = inner_->is_open();
    inner_->open();
    if (!was_open) dtr_ = rts_ = true, changed();
}

void vcd_line::close() {
    const bool was_open = inner_->is_open();
    inner_->close();
    if (was_open) dtr_ = rts_ = false, changed();  // the kernel drops both on close (HUPCL)
}

void vcd_line::set_dtr(bool high) {
    inner_->set_dtr(high);
    dtr_ = high;
    changed();
}

void vcd_line::set_rts(bool high) {
    inner_->set_rts(high);
    rts_ = high;
    changed();
}

void vcd_line::changed() { changes_.push_back({clock_.now(), dtr_, rts_}); }

void write_vcd(std::ostream& out, const std::vector<line_change>& changes, const std::string& comment) {
    const std::time_t now = std::time(nullptr);
    char date[64];
    std::strftime(date, sizeof date, "%Y-%m-%d %H:%M:%S %z", std::localtime(&now));
    out << "$date " << date << " $end\n$version kestrix-send " KESTRIX_VERSION " $end\n"
        << "$comment X10 Firecracker lines, 1 = high (asserted): " << comment << " $end\n"
        << "$timescale 1 us $end\n$scope module firecracker $end\n"
        << "$var wire 1 ! DTR $end\n$var wire 1 \" RTS $end\n$upscope $end\n$enddefinitions $end\n";
    if (changes.empty()) return;
    const std::uint64_t first = changes.front().tick;
    bool dtr = !changes.front().dtr, rts = !changes.front().rts;
    for (std::size_t i = 0; i < changes.size(); ++i) {
        const line_change& c = changes[i];
        const std::uint64_t ticks = c.tick - first;
        out << '#' << (ticks / ticks_per_second * 1'000'000 + (ticks % ticks_per_second * 1'000'000 + ticks_per_second / 2) / ticks_per_second) << '\n';
        if (i == 0) out << "$dumpvars\n";
        if (c.dtr != dtr) out << (c.dtr ? '1' : '0') << "!\n";
        if (c.rts != rts) out << (c.rts ? '1' : '0') << "\"\n";
        if (i == 0) out << "$end\n";
        dtr = c.dtr;
        rts = c.rts;
    }
}

}  // namespace kestrix::cli
