#include "simulated_line.h"

#include "command.h"

namespace kestrix::sim {

void simulated_line::open() {
    if (open_) return;
    open_ = true;
    dtr_ = rts_ = true;  // opening a port raises both lines
    rx_.lines(clock_.now(), true, true);
}

void simulated_line::set_dtr(bool high) {
    if (!open_) throw error(errc::port_not_open, "The port is not open");
    dtr_ = high;
    changed();
}

void simulated_line::set_rts(bool high) {
    if (!open_) throw error(errc::port_not_open, "The port is not open");
    rts_ = high;
    changed();
}

void simulated_line::changed() { rx_.lines(clock_.now(), dtr_, rts_); }

std::string describe(const std::array<std::uint8_t, 5>& f) {
    if (f[0] != 0xD5 || f[1] != 0xAA || f[4] != 0xAD) return "not a frame";
    static const char letters[] = "MNOPCDABEFGHKLIJ";  // by house nibble
    x10::command c{{letters[f[2] >> 4], 0}, x10::action::on, 0};
    const std::string house = "house " + c.to.text();
    if ((f[2] & 0x0B) != 0) return house + ", unknown house byte";
    if (f[3] == 0x98 || f[3] == 0x88) {
        if (f[2] & 0x04) return house + ", unknown house byte";
        c.what = f[3] == 0x98 ? x10::action::dim : x10::action::bright;
        return c.describe();
    }
    if (f[3] & 0x87) return house + ", unknown command byte";
    c.to.unit = 1 + ((f[3] & 0x10) ? 1 : 0) + ((f[3] & 0x08) ? 2 : 0) + ((f[3] & 0x40) ? 4 : 0) + ((f[2] & 0x04) ? 8 : 0);
    c.what = (f[3] & 0x20) ? x10::action::off : x10::action::on;
    return c.describe();
}

}  // namespace kestrix::sim
