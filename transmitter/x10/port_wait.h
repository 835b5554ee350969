// Opening a port that another program may hold for a moment (a key press
// in Vantrel, a burst of the bridge, another kestrix-send): tried again
// every so often until a deadline, then given up with its error.
#pragma once

#include "kestrix/controlcm.h"

#include <chrono>
#include <functional>
#include <string>

namespace kestrix::x10 {

using steady = std::chrono::steady_clock;

// How often a held port is tried again.
inline constexpr std::chrono::milliseconds retry_interval{100};

struct port_wait {
    steady::time_point deadline;  // no try starts after it
    std::function<steady::time_point()> now = [] { return steady::now(); };
    // Waits that long before the next try; false gives up at once.
    std::function<bool(steady::duration)> pause;
    // Told once, the first time the port is found held, with the reason.
    std::function<void(const std::string& why)> held = [](const std::string&) {};
};

// Init()s `control` until its port opens, fails for another reason, or is
// still held at the deadline. Returns Init's last result: 0 or an error.
std::int16_t open_port(controlcm& control, const port_wait& wait);

}  // namespace kestrix::x10
