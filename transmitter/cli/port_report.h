// kestrix-send --list: the machine's serial ports for people, or as JSON.
#pragma once

#include "serial_ports.h"

#include <ostream>
#include <vector>

namespace kestrix::cli {

// One port a line, in the order given; "no serial ports found" for none.
void print_ports(std::ostream& out, const std::vector<ports::port>& list);

// A JSON array of objects, one a port, with the fields of ports::port ("com"
// is null for a port without a COM number).
void print_ports_json(std::ostream& out, const std::vector<ports::port>& list);

}  // namespace kestrix::cli
