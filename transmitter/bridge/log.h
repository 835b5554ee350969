// kestrix-bridge's log: one line a message on standard error, with the
// "<N>" level prefix the journal reads under systemd.
#pragma once

#include <string>

namespace kestrix::bridge {

enum class level { error = 3, warning = 4, info = 6, debug = 7 };

void set_verbose(bool verbose);  // debug lines too
void log(level l, const std::string& message);

}  // namespace kestrix::bridge
