#include "port_wait.h"

#include <algorithm>

namespace kestrix::x10 {

std::int16_t open_port(controlcm& control, const port_wait& wait) {
    for (bool told = false;; told = true) {
        const std::int16_t result = control.Init();
        const steady::time_point now = wait.now();
        if (result != errc::port_in_use || now >= wait.deadline) return result;
        if (!told) wait.held(control.last_error());
        if (!wait.pause(std::min<steady::duration>(retry_interval, wait.deadline - now))) return result;
    }
}

}  // namespace kestrix::x10
