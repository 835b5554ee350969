// What the simulated transmitter of a dry run received, for people to read.
#pragma once

#include "receiver.h"

#include <ostream>

namespace kestrix::cli {

// Prints the frames (equal neighbours counted together) with their meaning,
// the shortest low pulse and standby, and every timing fault. Returns
// whether the receiver found no fault.
bool print_dry_run(std::ostream& out, const sim::receiver& rx);

}  // namespace kestrix::cli
