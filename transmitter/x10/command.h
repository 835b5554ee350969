// The X10 words that kestrix-send, the bridge and the dry run share: an
// address (a house A to P, a unit 1 to 16), an action, a command, how each
// is read from what people type and how it is written back.
#pragma once

#include "kestrix/controlcm.h"

#include <optional>
#include <string>
#include <string_view>

namespace kestrix::x10 {

enum class action { on, off, dim, bright };

struct address {
    char house = 'A';  // 'A' to 'P'
    int unit = 1;      // 1 to 16; 0: the house alone, whose last addressed unit DIM and BRIGHT act on
    std::string text() const;  // "A1", "P16", "B"
    auto operator<=>(const address&) const = default;
};

struct command {
    address to;
    action what = action::on;
    int percent = 0;  // DIM and BRIGHT: 1 to 100; 0 sends the unit's addressing frame alone
    bool switches() const { return what == action::on || what == action::off; }
    std::string text() const;      // "A1 ON", "B12 DIM 40%": short, for logs
    std::string describe() const;  // "house A unit 1 ON", "house B DIM 50%": in words
    bool operator==(const command&) const = default;
};

// One step of dimming: the smallest amount that still sends one DIM frame.
inline constexpr int one_step_percent = 12;

// "A3", "b16", "c01"; "C" too when `house_alone`. When it is no address,
// `problem` (if given) says why, naming the text.
std::optional<address> parse_address(std::string_view text, bool house_alone = false, std::string* problem = nullptr);
// "on", "OFF", "Dim", "bright".
std::optional<action> parse_action(std::string_view word);
// "40" or "40%": 1 to 100.
std::optional<int> parse_percent(std::string_view word);
// The whole of `text` as a decimal number from `min` to `max`.
std::optional<int> whole_number(std::string_view text, int min, int max);
std::string lower(std::string_view text);

// Sends `c` through a control whose Init succeeded.
void send(controlcm& control, const command& c);
// Sends `frames` DIM or BRIGHT frames (any number) to `c`'s unit, which
// is addressed first, as Exec does for a percentage.
void send_frames(controlcm& control, const command& c, int frames);

}  // namespace kestrix::x10
