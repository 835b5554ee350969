// kestrix-send --check: can this port clock a Firecracker at all? Many USB
// adapters accept the modem-line calls but do not drive DTR and RTS, or
// drive them slowly; this finds out without sending any X10 command.
#pragma once

#include "command_line.h"

#include <ostream>

namespace kestrix::cli {

// Opens the port of `o` as a send would, drives DTR and RTS through a
// pattern that is no X10 frame (eight DTR pulses, then eight RTS pulses:
// no module reacts), reads the lines back after each change where the
// driver reports them, times each change, and prints the figures and a
// verdict on `out`, what went wrong on `err`. Returns 0 when the port can
// drive the transmitter, else 1.
int check_port(const options& o, std::ostream& out, std::ostream& err);

}  // namespace kestrix::cli
