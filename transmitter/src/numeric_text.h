// Reading numbers out of text the way users type them: the leading-number
// rule and round-half-to-even into 16 bits. Shared by the transmitter control
// (unit texts) and the remote (settings and the port box), so both read "12ab"
// or "&H10" alike.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace kestrix::text {

// The number at the start of `text`. Blanks, tabs and line feeds are skipped
// wherever they stand; then an optional sign, decimal digits with at most one
// point and an optional exponent ("1e3"), or "&H"/"&O" followed by hexadecimal
// or octal digits. The first character that cannot continue the number ends
// it; text with no number at its start reads as 0. A number too large for a
// double reads as an infinity, one too small as 0.
double leading_number(std::string_view text);

// A decimal number that is the whole of `text` (sign, digits, one point,
// exponent; nothing else), with whether it lies beyond a double's range.
struct decimal {
    enum class range { inside, overflow, underflow };
    double value;  // an infinity on overflow, 0 on underflow
    range where;
};
std::optional<decimal> decimal_number(std::string_view text);

// `value` rounded to the nearest integer, a half going to the even neighbour.
double round_half_even(double value);

// `value` rounded half to even, if the result fits a 16-bit signed integer.
std::optional<std::int16_t> to_int16(double value);

}  // namespace kestrix::text
