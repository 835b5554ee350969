#include "shown_text.h"

namespace kestrix::text {
namespace {

// The length of the well-formed UTF-8 sequence at `i`, or 0 when none
// starts there: no overlong forms, no surrogates, nothing past U+10FFFF.
std::size_t sequence(std::string_view s, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[i + k]); };
    const unsigned char c = byte(0);
    const std::size_t length = c < 0x80 ? 1 : c >= 0xC2 && c <= 0xDF ? 2 : (c >> 4) == 0xE ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
    if (length == 0 || i + length > s.size()) return 0;
    for (std::size_t k = 1; k < length; ++k)
        if ((byte(k) & 0xC0) != 0x80) return 0;
    // The second byte's range where the first allows less than all of 80 to BF.
    if ((c == 0xE0 && byte(1) < 0xA0) || (c == 0xED && byte(1) > 0x9F) || (c == 0xF0 && byte(1) < 0x90) ||
        (c == 0xF4 && byte(1) > 0x8F))
        return 0;
    return length;
}

// Characters that change how a terminal or a log viewer shows what comes
// after them: C0 and C1 controls, DEL, the marks and overrides of
// bidirectional text (U+061C, U+200E, U+200F, U+202A to U+202E, U+2066 to
// U+2069) and the line and paragraph separators U+2028 and U+2029.
bool control(std::string_view s, std::size_t i, std::size_t n) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[i + k]); };
    if (n == 1) return byte(0) < 0x20 || byte(0) == 0x7F;
    if (n == 2) return (byte(0) == 0xC2 && byte(1) < 0xA0) || (byte(0) == 0xD8 && byte(1) == 0x9C);
    if (n != 3 || byte(0) != 0xE2) return false;
    return (byte(1) == 0x80 && (byte(2) == 0x8E || byte(2) == 0x8F || (byte(2) >= 0xA8 && byte(2) <= 0xAE))) ||
           (byte(1) == 0x81 && byte(2) >= 0xA6 && byte(2) <= 0xA9);
}

}  // namespace

bool valid_utf8(std::string_view text) {
    for (std::size_t i = 0, n; i < text.size(); i += n)
        if ((n = sequence(text, i)) == 0) return false;
    return true;
}

std::string shown(std::string_view text) {
    static const char hex[] = "0123456789abcdef";
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t n = sequence(text, i);
        if (n && !control(text, i, n)) {
            out.append(text, i, n);
            i += n;
            continue;
        }
        // Each byte of a control or of what is no UTF-8 as \xNN.
        for (std::size_t k = 0; k < std::max<std::size_t>(n, 1); ++k, ++i) {
            const auto c = static_cast<unsigned char>(text[i]);
            out += std::string("\\x") + hex[c >> 4] + hex[c & 15];
        }
    }
    return out;
}

std::string quoted(std::string_view text, std::size_t most) {
    return "'" + shown(text.substr(0, most)) + (text.size() > most ? "'..." : "'");
}

}  // namespace kestrix::text
