// The serial layer `controlcm` uses on Linux, for hosts that want to choose
// the device themselves (any tty path rather than a COM number).
#pragma once

#include "kestrix/controlcm.h"

#include <memory>
#include <optional>
#include <string>

namespace kestrix {

// The device of COM port N: /dev/ttyS0 to /dev/ttyS3 for 1 to 4,
// /dev/ttyUSB(N-5) from 5 on; empty for 0 and below.
KESTRIX_API std::string device_for_port(std::int16_t port);

// The Linux serial layer naming devices by the COM table above.
KESTRIX_API std::unique_ptr<serial_line> make_linux_serial_line();

// The Linux serial layer on one fixed device; the port number is ignored.
KESTRIX_API std::unique_ptr<serial_line> make_linux_serial_line(std::string device);

// For diagnostics: DTR and RTS as the driver of a port that a Linux serial
// layer holds open reports them. Nothing when the port is closed, the layer
// is not a Linux one, or the driver does not report its lines.
struct line_levels {
    bool dtr;
    bool rts;
};
KESTRIX_API std::optional<line_levels> reported_lines(const serial_line& line);

}  // namespace kestrix
