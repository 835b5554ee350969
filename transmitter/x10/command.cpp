#include "command.h"

#include "dim_frames.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace kestrix::x10 {
namespace {

const char* const upper_names[] = {"ON", "OFF", "DIM", "BRIGHT"};

bool steps(action a) { return a == action::dim || a == action::bright; }

}  // namespace

std::string address::text() const { return std::string(1, house) + (unit ? std::to_string(unit) : ""); }

std::string command::text() const {
    std::string t = to.text() + " " + upper_names[static_cast<int>(what)];
    if (steps(what)) t += " " + std::to_string(percent) + "%";
    return t;
}

std::string command::describe() const {
    std::string t = std::string("house ") + to.house;
    if (to.unit) t += " unit " + std::to_string(to.unit);
    t += std::string(" ") + upper_names[static_cast<int>(what)];
    if (steps(what) && percent) t += " " + std::to_string(percent) + "%";
    return t;
}

std::string lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

std::optional<int> whole_number(std::string_view text, int min, int max) {
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc{} || end != text.data() + text.size() || value < min || value > max)
        return std::nullopt;
    return value;
}

std::optional<address> parse_address(std::string_view text, bool house_alone, std::string* problem) {
    const auto fail = [&](const std::string& why) -> std::optional<address> {
        if (problem) *problem = why;
        return std::nullopt;
    };
    const std::string quoted = "'" + std::string(text) + "'";
    const char house = text.empty() ? '\0' : static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
    const std::string_view unit = text.empty() ? text : text.substr(1);
    if (house < 'A' || house > 'P' || (unit.empty() && !house_alone) || (!unit.empty() && !whole_number(unit, 0, 99)))
        return fail(quoted + " is not a house and unit (a letter A to P, then 1 to 16)");
    if (unit.empty()) return address{house, 0};
    const auto number = whole_number(unit, 1, 16);
    if (!number) return fail("unit " + std::string(unit) + " in " + quoted + " is out of range (1 to 16)");
    return address{house, *number};
}

std::optional<action> parse_action(std::string_view word) {
    const std::string w = lower(word);
    for (int a = 0; a < 4; ++a)
        if (w == lower(upper_names[a])) return static_cast<action>(a);
    return std::nullopt;
}

std::optional<int> parse_percent(std::string_view word) {
    if (!word.empty() && word.back() == '%') word.remove_suffix(1);
    return whole_number(word, 1, 100);
}

void send_frames(controlcm& control, const command& c, int frames) {
    // Exec sends at most 8 at a time; the house alone then, not the unit
    // again: its DIM and BRIGHT act on the unit addressed last.
    for (bool first = true; frames > 0; first = false) {
        const int now = std::min(frames, 8);
        send(control, {first ? c.to : address{c.to.house, 0}, c.what, percent_for_frames(now)});
        frames -= now;
    }
}

void send(controlcm& control, const command& c) {
    static const std::int16_t codes[] = {cmd_on, cmd_off, cmd_dim, cmd_bright};
    std::string house(1, c.to.house);
    control.Exec(house, c.to.unit ? std::to_string(c.to.unit) : "", codes[static_cast<int>(c.what)],
                 static_cast<std::int16_t>(c.percent));
}

}  // namespace kestrix::x10
