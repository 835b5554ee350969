// The words of kestrix-bridge: one parser for the MQTT topics and the
// mochad-compatible text port, so that "rf a1 dim 15" and a message on
// kestrix/a/1/dim end in the same command.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kestrix::bridge {

enum class action { on, off, dim, bright };

// "A1", "P16": a house letter and a unit number.
struct address {
    char house = 'A';  // 'A' to 'P'
    int unit = 1;      // 1 to 16
    std::string text() const { return std::string(1, house) + std::to_string(unit); }
    auto operator<=>(const address&) const = default;
};

struct command {
    address to;
    action what = action::on;
    int percent = 0;  // DIM and BRIGHT: 1 to 100, or 0 for the selection alone
    bool operator==(const command&) const = default;
    // "A1 ON", "B12 DIM 40%"
    std::string describe() const;
};

// One step of dimming: the smallest amount that still sends one DIM frame.
inline constexpr int one_step_percent = 12;

// A message on an MQTT topic under `base`: a command for one unit, a whole
// house ("<base>/a/all/set", unit 0 in `to`), or what was wrong with it.
struct topic_message {
    std::optional<command> cmd;
    bool whole_house = false;
    std::string error;  // empty when cmd is set
};
topic_message from_topic(std::string_view base, std::string_view topic, std::string_view payload);

// A line of the text port: a command, a "getstatus" question, or an error.
struct text_line {
    std::optional<command> cmd;
    std::optional<address> status_of;
    std::string error;
};
text_line from_text(std::string_view line);

// The mochad-style line that announces a command: "Tx RF HouseUnit: A1 Func: On".
std::string announcement(const command& c);

// "A1" in any case; nothing when it is no address.
std::optional<address> parse_address(std::string_view text);

}  // namespace kestrix::bridge
