#include "numeric_text.h"

#include <charconv>
#include <cmath>
#include <string>

namespace kestrix::text {
namespace {

bool is_skipped(char c) { return c == ' ' || c == '\t' || c == '\n'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

int digit_value(char c, int base) {
    int v = -1;
    if (c >= '0' && c <= '9') v = c - '0';
    else if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
    return v < base ? v : -1;
}

// Digits after &H or &O. A value too wide for any integer saturates rather
// than wrapping, so it still reads as "too big" to every caller.
double radix_number(std::string_view s, int base) {
    double value = 0;
    for (char c : s) {
        int d = digit_value(c, base);
        if (d < 0) break;
        value = value * base + d;
    }
    return value;
}

// The longest prefix of `s` shaped like [sign] digits [. digits]
// [e [sign] digits], read as a double. `end` is where it stops; 0 when
// there is no number.
decimal scan_decimal(std::string_view s, std::size_t& end) {
    end = 0;
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    const std::size_t int_start = i;
    while (i < s.size() && is_digit(s[i])) ++i;
    const std::size_t int_end = i;
    std::size_t frac_start = i, frac_end = i;
    if (i < s.size() && s[i] == '.') {
        frac_start = ++i;
        while (i < s.size() && is_digit(s[i])) ++i;
        frac_end = i;
    }
    if (int_end == int_start && frac_end == frac_start) return {0, decimal::range::inside};
    std::size_t stop = i;
    long long exponent = 0;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        std::size_t j = i + 1;
        bool negative = false;
        if (j < s.size() && (s[j] == '+' || s[j] == '-')) negative = s[j++] == '-';
        const std::size_t exp_start = j;
        for (; j < s.size() && is_digit(s[j]); ++j)
            if (exponent < 1'000'000'000) exponent = exponent * 10 + (s[j] - '0');
        if (j > exp_start) stop = j, exponent = negative ? -exponent : exponent;
        else exponent = 0;
    }
    end = stop;

    // from_chars ignores the process locale: the point is always ".".
    const char* first = s.data() + (s[0] == '+' ? 1 : 0);  // it takes no plus sign
    double value = 0;
    const auto [ptr, ec] = std::from_chars(first, s.data() + stop, value);
    if (ec != std::errc::result_out_of_range) return {value, decimal::range::inside};

    // Out of range one way or the other: the power of ten of the first
    // significant digit tells which, however the text spells it.
    long long magnitude = exponent;
    std::size_t k = int_start;
    while (k < int_end && s[k] == '0') ++k;
    if (k < int_end) {
        magnitude += static_cast<long long>(int_end - k) - 1;
    } else {
        std::size_t f = frac_start;
        while (f < frac_end && s[f] == '0') ++f;
        magnitude -= static_cast<long long>(f - frac_start) + 1;
    }
    const bool negative = s[0] == '-';
    if (magnitude >= 0) return {negative ? -HUGE_VAL : HUGE_VAL, decimal::range::overflow};
    return {negative ? -0.0 : 0.0, decimal::range::underflow};
}

}  // namespace

double leading_number(std::string_view text) {
    std::string s;
    s.reserve(text.size());
    for (char c : text)
        if (!is_skipped(c)) s.push_back(c);

    if (s.size() >= 2 && s[0] == '&') {
        char p = s[1];
        if (p == 'H' || p == 'h') return radix_number(std::string_view(s).substr(2), 16);
        if (p == 'O' || p == 'o') return radix_number(std::string_view(s).substr(2), 8);
        return 0;
    }
    std::size_t end = 0;
    return scan_decimal(s, end).value;
}

std::optional<decimal> decimal_number(std::string_view text) {
    std::size_t end = 0;
    const decimal d = scan_decimal(text, end);
    if (end == 0 || end != text.size()) return std::nullopt;
    return d;
}

double round_half_even(double value) {
    double r = std::round(value);  // halves away from zero
    if (std::fabs(value - std::trunc(value)) == 0.5) r = 2.0 * std::round(value / 2.0);
    return r;
}

std::optional<std::int16_t> to_int16(double value) {
    if (std::isnan(value)) return std::nullopt;
    double r = round_half_even(value);
    if (r < -32768.0 || r > 32767.0) return std::nullopt;
    return static_cast<std::int16_t>(r);
}

}  // namespace kestrix::text
