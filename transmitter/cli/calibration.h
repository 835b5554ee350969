// kestrix-send --calibrate: a lamp module's dim_steps for kestrix-bridge,
// counted with the user watching the lamp. The unit is switched on (a
// module that was off comes on at full), then dimmed one frame at a time
// for as long as the user sees each frame make it dimmer.
#pragma once

#include "send_program.h"

#include <istream>
#include <ostream>

namespace kestrix::cli {

// Asks on `out`, reads the answers from `in`. Returns the exit status: 0
// with the count printed, 1 without one (left, no answer, a port that
// failed, a module that does not seem to dim).
int calibrate(const options& o, std::istream& in, std::ostream& out, std::ostream& err, const platform& on = {});

}  // namespace kestrix::cli
