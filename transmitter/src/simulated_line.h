// A serial layer with a simulated transmitter behind it: every DTR/RTS
// change goes, with its tick, to a receiver that decodes it the way the
// device does. Nothing touches a real port.
#pragma once

#include "kestrix/controlcm.h"
#include "receiver.h"

#include <array>
#include <cstdint>
#include <string>

namespace kestrix::sim {

class simulated_line final : public serial_line {
public:
    // Both must outlive the line; `clock` is normally the control's own counter.
    simulated_line(tick_counter& clock, receiver& rx) : clock_(clock), rx_(rx) {}

    void set_port(std::int16_t) override {}
    void set_settings(std::string_view) override {}
    void open() override;
    void close() override { open_ = false; }
    bool is_open() const override { return open_; }
    void set_dtr(bool high) override;
    void set_rts(bool high) override;

private:
    void changed();
    tick_counter& clock_;
    receiver& rx_;
    bool open_ = false;
    bool dtr_ = true;
    bool rts_ = true;
};

// What a frame means to a receiver: "house A unit 3 ON", "house B DIM", ...
std::string describe(const std::array<std::uint8_t, 5>& frame);

}  // namespace kestrix::sim
