// Text from outside (an adapter's USB name, an MQTT payload, a line from a
// socket) made safe to show: in a terminal, a log or the journal.
#pragma once

#include <string>
#include <string_view>

namespace kestrix::text {

// Whether `text` is well-formed UTF-8.
bool valid_utf8(std::string_view text);

// `text` with control characters (escape sequences among them, C1 ones
// too) and bytes that are not UTF-8 written as \xNN; the rest as it is.
std::string shown(std::string_view text);

// Shown and in quotes, for a log line: "'...'"; beyond `most` bytes cut
// short, with "..." after the quote.
std::string quoted(std::string_view text, std::size_t most = 40);

}  // namespace kestrix::text
