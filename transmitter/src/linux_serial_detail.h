// Inside the Linux serial layer, for its tests.
#pragma once

#include "kestrix/controlcm.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace kestrix::detail {

// The error a failed open of `device` with errno `err` reports.
error open_error(const std::string& device, int err);

// The Linux layer naming the device of each port number with `naming`
// (the COM table in production; an empty name is an invalid port).
std::unique_ptr<serial_line> make_linux_serial_line(std::function<std::string(std::int16_t)> naming);

}  // namespace kestrix::detail
