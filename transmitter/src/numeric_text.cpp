#include "numeric_text.h"

#include <charconv>
#include <cmath>
#include <string>

namespace kestrix::text {
namespace {

bool is_skipped(char c) { return c == ' ' || c == '\t' || c == '\n'; }

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

    // Find the longest prefix shaped like [sign] digits [. digits] [e [sign] digits].
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    std::size_t digits = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i, ++digits;
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i, ++digits;
    }
    if (digits == 0) return 0;
    std::size_t end = i;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
        std::size_t exp_start = j;
        while (j < s.size() && s[j] >= '0' && s[j] <= '9') ++j;
        if (j > exp_start) end = j;
    }
    // from_chars ignores the process locale: the point is always ".".
    const char* first = s.data();
    if (*first == '+') ++first;  // from_chars takes no plus sign
    double value = 0;
    auto [ptr, ec] = std::from_chars(first, s.data() + end, value);
    if (ec == std::errc::result_out_of_range) {
        bool tiny = std::string_view(first, s.data() + end).find("e-") != std::string_view::npos ||
                    std::string_view(first, s.data() + end).find("E-") != std::string_view::npos;
        if (tiny) return 0;
        return first[0] == '-' ? -HUGE_VAL : HUGE_VAL;
    }
    return value;
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
