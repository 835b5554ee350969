// The Firecracker's 5-byte frame: D5 AA, house byte, command byte, AD.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

namespace kestrix::detail {

// Six bytes as the control builds them; the sixth stays 0 and is never sent.
using frame = std::array<std::uint8_t, 6>;

// House nibble of an upper-case house text: "A" to "P" by the X10 table,
// anything else 1 (the nibble of "N").
std::uint8_t house_nibble(std::string_view house);

// The frames one command sends, in order: one for ON (2) and OFF (3); for
// DIM (4) and BRIGHT (5) the unit's selection frame unless the unit text is
// empty, then 1 to 8 DIM or BRIGHT frames when brightness is 1 to 100; none
// for any other command. A unit text that does not fit 16 bits after
// rounding, or reads -32768, throws the overflow error before anything else.
std::vector<frame> encode_command(std::string_view house, std::string_view devicecode,
                                  std::int16_t command, std::int16_t brightness);

}  // namespace kestrix::detail
