#include "routing.h"

#include "shown_text.h"

#include <iterator>
#include <sstream>

namespace kestrix::bridge {
namespace {

using text::quoted;

std::string short_topic(const std::string& topic) { return topic.size() > 80 ? topic.substr(0, 80) + "..." : topic; }

// Words separated by blanks.
std::vector<std::string> words(std::string_view line) {
    std::istringstream in{std::string(line)};
    return {std::istream_iterator<std::string>(in), std::istream_iterator<std::string>()};
}

// What a payload on a unit's command topic asks for, or why it is no command.
std::optional<command> payload_command(const topics::reading& r, std::string_view payload, std::string& problem) {
    if (payload.size() > 64) {
        problem = "a payload of " + std::to_string(payload.size()) + " bytes is no command";
        return std::nullopt;
    }
    if (!text::valid_utf8(payload)) {
        problem = "the payload " + quoted(payload) + " is not UTF-8";
        return std::nullopt;
    }
    command c{r.to, action::on, 0};
    if (r.what == verb::set) {
        const auto a = x10::parse_action(payload);
        if (!a || (*a != action::on && *a != action::off)) {
            problem = "unknown word " + quoted(payload) + " (ON or OFF)";
            return std::nullopt;
        }
        c.what = *a;
        return c;
    }
    if ((r.what == verb::dim || r.what == verb::bright) && !r.whole_house) {
        c.what = r.what == verb::dim ? action::dim : action::bright;
        const auto percent = payload.empty() ? std::optional<int>(x10::one_step_percent) : x10::parse_percent(payload);
        if (!percent) {
            problem = quoted(payload) + " is not a percentage from 1 to 100 (or empty for one step)";
            return std::nullopt;
        }
        c.percent = *percent;
        return c;
    }
    problem = "unknown command topic " + quoted(r.word) + " (set, dim or bright)";
    return std::nullopt;
}

}  // namespace

routed router::message(const mqtt_message& m) {
    routed out;
    if (m.topic == topics_.home_assistant_status()) {
        out.home_assistant_back = m.payload == "online";
        return out;
    }
    const topics::reading r = topics_.read(m.topic);
    if (r.problem.empty() && r.what == verb::state) {
        // Our own states, retained on the broker: what the lamps were left at.
        const auto a = x10::parse_action(m.payload);
        if (!r.whole_house && a && (*a == action::on || *a == action::off) && !states_.count(r.to))
            states_[r.to] = *a == action::on;
        return out;
    }
    if (m.retained) {
        // Replayed at every reconnect, it would switch lamps at random times.
        out.problem = "ignored a retained command on " + short_topic(m.topic) +
                      " (publish commands without the retain flag)";
        return out;
    }
    std::string problem = r.problem;
    const std::optional<command> c = problem.empty() ? payload_command(r, m.payload, problem) : std::nullopt;
    if (!c) {
        out.problem = "ignored a message on " + short_topic(m.topic) + ": " + problem;
        return out;
    }
    if (!r.whole_house) {
        out.commands.push_back(*c);
        return out;
    }
    for (const unit_config& u : units_)
        if (u.at.house == c->to.house) out.commands.push_back({u.at, c->what, c->percent});
    if (out.commands.empty())
        out.problem = "ignored " + short_topic(m.topic) + ": no unit of house " + c->to.house + " is configured";
    return out;
}

routed router::line(std::string_view text) const {
    routed out;
    const std::vector<std::string> w = words(text);
    const std::string verb = w.empty() ? std::string() : x10::lower(w[0]);
    const auto to = w.size() >= 2 ? x10::parse_address(w[1]) : std::nullopt;
    if (verb == "getstatus" && w.size() == 2 && to) {
        const auto it = states_.find(*to);
        out.answer = it != states_.end() && it->second ? "on" : "off";
        return out;
    }
    if ((verb == "rf" || verb == "pl") && to && w.size() >= 3) {
        const auto what = x10::parse_action(w[2]);
        command c{*to, what.value_or(action::on), 0};
        if (what && c.switches() && w.size() == 3) {
            out.commands.push_back(c);
            return out;
        }
        if (what && !c.switches() && w.size() <= 4) {
            // That protocol's amounts run from 0 to 31.
            const auto amount = w.size() == 4 ? x10::whole_number(w[3], 0, 31) : std::optional<int>(-1);
            if (amount) {
                c.percent = *amount < 0 ? x10::one_step_percent : (*amount * 100 + 15) / 31;
                out.commands.push_back(c);
                return out;
            }
        }
    }
    out.problem = "unknown command " + quoted(text) +
                  " (rf|pl <house><unit> on|off|dim|bright [0-31], getstatus <house><unit>)";
    out.answer = "error: " + out.problem;
    return out;
}

void router::sent(const command& c) {
    // A DIM or BRIGHT addresses its unit with an ON frame first.
    states_[c.to] = c.what != action::off;
}

std::string announcement(const command& c, std::time_t when) {
    static const char* const names[] = {"On", "Off", "Dim", "Bright"};
    std::tm local{};
    ::localtime_r(&when, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%m/%d %H:%M:%S", &local);
    return std::string(stamp) + " Tx RF HouseUnit: " + c.to.text() + " Func: " + names[static_cast<int>(c.what)];
}

}  // namespace kestrix::bridge
