#include "command_words.h"

#include "shown_text.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <vector>

namespace kestrix::bridge {
namespace {

std::string lower(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

std::optional<int> whole_number(std::string_view s, int min, int max) {
    int value = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (s.empty() || ec != std::errc{} || end != s.data() + s.size() || value < min || value > max) return std::nullopt;
    return value;
}

// Words separated by blanks or tabs.
std::vector<std::string_view> words(std::string_view line) {
    std::vector<std::string_view> out;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
        const std::size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
        if (i > start) out.push_back(line.substr(start, i - start));
    }
    return out;
}

// Quoted for a log line: at most 40 bytes, shown so that no payload can
// forge a log line or upset a terminal.
std::string quoted(std::string_view s) {
    return "'" + text::shown(s.substr(0, 40)) + (s.size() > 40 ? "'..." : "'");
}

}  // namespace

std::string command::describe() const {
    static const char* const names[] = {"ON", "OFF", "DIM", "BRIGHT"};
    std::string text = to.text() + " " + names[static_cast<int>(what)];
    if (what == action::dim || what == action::bright) text += " " + std::to_string(percent) + "%";
    return text;
}

std::optional<address> parse_address(std::string_view text) {
    if (text.size() < 2) return std::nullopt;
    const char house = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
    const auto unit = whole_number(text.substr(1), 1, 16);
    if (house < 'A' || house > 'P' || !unit || text[1] == '0') return std::nullopt;
    return address{house, *unit};
}

topic_message from_topic(std::string_view base, std::string_view topic, std::string_view payload) {
    topic_message m;
    const std::string prefix = std::string(base) + "/";
    // <base>/<house>/<unit>/<verb>
    std::vector<std::string_view> parts;
    if (topic.substr(0, prefix.size()) == prefix) {
        std::string_view rest = topic.substr(prefix.size());
        for (std::size_t slash; (slash = rest.find('/')) != std::string_view::npos; rest = rest.substr(slash + 1))
            parts.push_back(rest.substr(0, slash));
        parts.push_back(rest);
    }
    if (parts.size() != 3) {
        m.error = "not a command topic";
        return m;
    }
    const std::string house = lower(parts[0]), unit = lower(parts[1]);
    const std::string_view verb = parts[2];
    const auto to = parse_address(house + unit);
    if (house.size() != 1 || (unit != "all" && !to) || (unit == "all" && (house[0] < 'a' || house[0] > 'p'))) {
        m.error = "no such unit: " + quoted(parts[0]) + "/" + quoted(parts[1]) + " (a house a to p, then 1 to 16 or all)";
        return m;
    }
    if (payload.size() > 64) {
        m.error = "a payload of " + std::to_string(payload.size()) + " bytes is no command";
        return m;
    }
    command c;
    c.to = to.value_or(address{static_cast<char>(std::toupper(house[0])), 0});
    if (!text::valid_utf8(payload)) {
        m.error = "the payload " + quoted(payload) + " is not UTF-8";
        return m;
    }
    const std::string word = lower(payload);
    if (verb == "set") {
        if (word != "on" && word != "off") {
            m.error = "unknown word " + quoted(payload) + " (ON or OFF)";
            return m;
        }
        c.what = word == "on" ? action::on : action::off;
    } else if ((verb == "dim" || verb == "bright") && unit != "all") {
        c.what = verb == "dim" ? action::dim : action::bright;
        std::string_view amount = payload;
        if (!amount.empty() && amount.back() == '%') amount.remove_suffix(1);
        const auto percent = payload.empty() ? std::optional<int>(one_step_percent) : whole_number(amount, 1, 100);
        if (!percent) {
            m.error = quoted(payload) + " is not a percentage from 1 to 100 (or empty for one step)";
            return m;
        }
        c.percent = *percent;
    } else {
        m.error = "unknown command topic " + quoted(parts[2]) + " (set, dim or bright)";
        return m;
    }
    m.whole_house = unit == "all";
    m.cmd = c;
    return m;
}

text_line from_text(std::string_view line) {
    text_line t;
    const std::vector<std::string_view> w = words(line);
    const std::string verb = w.empty() ? std::string() : lower(w[0]);
    const auto to = w.size() >= 2 ? parse_address(w[1]) : std::nullopt;
    if (verb == "getstatus" && w.size() == 2 && to) {
        t.status_of = to;
        return t;
    }
    if ((verb == "rf" || verb == "pl") && to && w.size() >= 3) {
        const std::string func = lower(w[2]);
        command c{*to, action::on, 0};
        if ((func == "on" || func == "off") && w.size() == 3) {
            c.what = func == "on" ? action::on : action::off;
            t.cmd = c;
            return t;
        }
        if ((func == "dim" || func == "bright") && w.size() <= 4) {
            c.what = func == "dim" ? action::dim : action::bright;
            // That protocol's amounts run from 0 to 31.
            const auto amount = w.size() == 4 ? whole_number(w[3], 0, 31) : std::optional<int>(-1);
            if (amount) {
                c.percent = *amount < 0 ? one_step_percent : (*amount * 100 + 15) / 31;
                t.cmd = c;
                return t;
            }
        }
    }
    t.error = "unknown command " + quoted(line) + " (rf|pl <house><unit> on|off|dim|bright [0-31], getstatus <house><unit>)";
    return t;
}

std::string announcement(const command& c) {
    static const char* const names[] = {"On", "Off", "Dim", "Bright"};
    return "Tx RF HouseUnit: " + c.to.text() + " Func: " + names[static_cast<int>(c.what)];
}

}  // namespace kestrix::bridge
