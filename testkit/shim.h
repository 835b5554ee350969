// The ioctl shim (ioctl_shim.cpp), preloaded into a program under test:
// the environment that preloads it, and what it logged, replayed.
#pragma once

#include "receiver.h"

#include <string>
#include <utility>
#include <vector>

namespace kestrix::testing {

using environment = std::vector<std::pair<std::string, std::string>>;

// LD_PRELOAD of the shim, its log file (empty: none) and `more` of its settings.
environment shim_env(const std::string& log, const environment& more = {});

// What the shim logged ("ns kind dtr rts" a line), replayed into a
// receiver: the opens, the closes (each a hang-up) and every line edge.
struct recording {
    sim::receiver rx;
    int opened = 0, closed = 0;
    std::vector<long long> edges_ns;  // CLOCK_MONOTONIC of each line change
};
recording replay_shim_log(const std::string& path);

// The frames a receiver got, as "D5 AA 60 00 AD".
std::vector<std::string> frames_of(const sim::receiver& rx);

}  // namespace kestrix::testing
