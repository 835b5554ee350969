#include "frame.h"

#include "dim_frames.h"
#include "kestrix/controlcm.h"
#include "numeric_text.h"

#include <cmath>

namespace kestrix::detail {
namespace {

constexpr std::uint8_t header0 = 0xD5;
constexpr std::uint8_t header1 = 0xAA;
constexpr std::uint8_t footer = 0xAD;
constexpr std::uint8_t high_units = 0x04;  // house byte: units 9 to 16
constexpr std::uint8_t off_bit = 0x20;
constexpr std::uint8_t dim_byte = 0x98;
constexpr std::uint8_t bright_byte = 0x88;

// X10 house codes are not in alphabetical order on the air.
constexpr std::array<std::uint8_t, 16> nibbles = {6, 7, 4, 5, 8, 9, 10, 11,
                                                  14, 15, 12, 13, 0, 1, 2, 3};

std::int16_t unit_number(std::string_view devicecode) {
    auto unit = text::to_int16(text::leading_number(devicecode));
    if (!unit || *unit == -32768) throw error(errc::overflow, "Overflow");
    return *unit;
}

}  // namespace

std::uint8_t house_nibble(std::string_view house) {
    if (house.size() == 1 && house[0] >= 'A' && house[0] <= 'P') return nibbles[house[0] - 'A'];
    return 1;
}

std::vector<frame> encode_command(std::string_view house, std::string_view devicecode,
                                  std::int16_t command, std::int16_t brightness) {
    frame f{};
    f[0] = header0;
    f[1] = header1;
    f[2] = static_cast<std::uint8_t>(house_nibble(house) * 16);

    // Only the four low bits of unit - 1 travel; 0 and "" become unit 16.
    unsigned u = static_cast<unsigned>(unit_number(devicecode) - 1);
    if (u & 2) f[3] += 0x08;
    if (u & 1) f[3] += 0x10;
    if (u & 4) f[3] += 0x40;
    if (u & 8) f[2] += high_units;
    if (command == cmd_off) f[3] += off_bit;
    f[4] = footer;

    std::vector<frame> frames;
    if (command == cmd_on || command == cmd_off) {
        frames.push_back(f);
        return frames;
    }
    if (command != cmd_dim && command != cmd_bright) return frames;

    if (!devicecode.empty()) frames.push_back(f);  // selects the unit to dim
    f[3] = command == cmd_dim ? dim_byte : bright_byte;
    f[2] &= static_cast<std::uint8_t>(~high_units);
    if (brightness < 1 || brightness > 100) return frames;
    frames.insert(frames.end(), dim_frames(brightness), f);
    return frames;
}

}  // namespace kestrix::detail
