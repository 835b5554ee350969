// kestrix-send --vcd: every DTR and RTS change with its time, written as a
// Value Change Dump, the format logic-analyser programs open (PulseView,
// GTKWave, sigrok-cli -I vcd).
#pragma once

#include "kestrix/controlcm.h"

#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace kestrix::cli {

struct line_change {
    std::uint64_t tick;
    bool dtr, rts;
};

// A serial line that passes everything on to another and keeps each
// change of the lines with the counter's tick: in memory, so that nothing
// slows the frame down. Opening raises both lines, closing drops them.
class vcd_line final : public serial_line {
public:
    vcd_line(std::unique_ptr<serial_line> inner, tick_counter& clock, std::vector<line_change>& changes)
        : inner_(std::move(inner)), clock_(clock), changes_(changes) {}
    void set_port(std::int16_t port) override { inner_->set_port(port); }
    void set_settings(std::string_view settings) override { inner_->set_settings(settings); }
    void open() override;
    void close() override;
    bool is_open() const override { return inner_->is_open(); }
    void set_dtr(bool high) override;
    void set_rts(bool high) override;

private:
    void changed();
    std::unique_ptr<serial_line> inner_;
    tick_counter& clock_;
    std::vector<line_change>& changes_;
    bool dtr_ = false, rts_ = false;
};

// The changes as a Value Change Dump in microseconds from the first one,
// with the wires DTR and RTS; `comment` says what was sent.
void write_vcd(std::ostream& out, const std::vector<line_change>& changes, const std::string& comment);

}  // namespace kestrix::cli
