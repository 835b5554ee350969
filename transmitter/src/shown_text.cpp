#include "shown_text.h"

namespace kestrix::text {
namespace {

// The length of the UTF-8 sequence at `i`, or 0 when none starts there.
std::size_t sequence(std::string_view s, std::size_t i) {
    const auto c = static_cast<unsigned char>(s[i]);
    const std::size_t length = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
    if (length == 0 || i + length > s.size()) return 0;
    for (std::size_t k = 1; k < length; ++k)
        if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return 0;
    return length;
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
        const auto c = static_cast<unsigned char>(text[i]);
        const std::size_t n = sequence(text, i);
        // C1 controls, U+0080 to U+009F, are C2 80 to C2 9F.
        const bool control = c < 0x20 || c == 0x7F || (n == 2 && c == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0);
        if (n == 0 || control) {
            out += std::string("\\x") + hex[c >> 4] + hex[c & 15];
            ++i;
        } else {
            out.append(text, i, n);
            i += n;
        }
    }
    return out;
}

std::string quoted(std::string_view text, std::size_t most) {
    return "'" + shown(text.substr(0, most)) + (text.size() > most ? "'..." : "'");
}

}  // namespace kestrix::text
