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

// What a payload on a unit's command topic asks for, or why it is no request.
std::optional<request> payload_request(const topics::reading& r, std::string_view payload, std::string& problem) {
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
        return request{c, {}};
    }
    if ((r.what == verb::dim || r.what == verb::bright) && !r.whole_house) {
        c.what = r.what == verb::dim ? action::dim : action::bright;
        const auto percent = payload.empty() ? std::optional<int>(x10::one_step_percent) : x10::parse_percent(payload);
        if (!percent) {
            problem = quoted(payload) + " is not a percentage from 1 to 100 (or empty for one step)";
            return std::nullopt;
        }
        c.percent = *percent;
        return request{c, {}};
    }
    if (r.what == verb::level_set && !r.whole_house) {
        std::string_view amount = payload;
        if (!amount.empty() && amount.back() == '%') amount.remove_suffix(1);
        const auto level = x10::whole_number(amount, 0, 100);
        if (!level) {
            problem = quoted(payload) + " is not a level from 0 to 100";
            return std::nullopt;
        }
        return request{c, percent{*level}};
    }
    problem = "unknown command topic " + quoted(r.word) + " (set, dim, bright or level/set; all/set or all/resend)";
    return std::nullopt;
}

}  // namespace

routed router::message(const mqtt::message& m) const {
    routed out;
    if (m.topic == topics_.home_assistant_status()) {
        out.home_assistant_back = m.payload == "online";
        return out;
    }
    const topics::reading r = topics_.read(m.topic);
    if (r.problem.empty() && !r.whole_house && r.what == verb::state) {
        // Our own states, retained on the broker: what the lamps were left at.
        const auto a = x10::parse_action(m.payload);
        if (a && (*a == action::on || *a == action::off)) out.learnt_state = {r.to, *a == action::on};
        return out;
    }
    if (r.problem.empty() && !r.whole_house && r.what == verb::level_state) {
        if (const auto level = x10::whole_number(m.payload, 0, 100)) out.learnt_level = {r.to, percent{*level}};
        return out;
    }
    if (m.retained) {
        // Replayed at every reconnect, it would switch lamps at random times.
        out.problem = "ignored a retained command on " + short_topic(m.topic) +
                      " (publish commands without the retain flag)";
        return out;
    }
    if (r.problem.empty() && r.whole_house && r.what == verb::resend) {  // any payload: a button's press
        for (const unit_config& u : units_)
            if (u.at.house == r.to.house) out.requests.push_back({{u.at, action::on, 0}, {}, true});
        if (out.requests.empty())
            out.problem = "ignored " + short_topic(m.topic) + ": no unit of house " + r.to.house + " is configured";
        return out;
    }
    std::string problem = r.problem;
    const std::optional<request> q = problem.empty() ? payload_request(r, m.payload, problem) : std::nullopt;
    if (!q) {
        out.problem = "ignored a message on " + short_topic(m.topic) + ": " + problem;
        return out;
    }
    if (!r.whole_house) {
        out.requests.push_back(*q);
        return out;
    }
    for (const unit_config& u : units_)
        if (u.at.house == q->cmd.to.house) out.requests.push_back({{u.at, q->cmd.what, q->cmd.percent}, {}});
    if (out.requests.empty())
        out.problem = "ignored " + short_topic(m.topic) + ": no unit of house " + q->cmd.to.house + " is configured";
    return out;
}

routed router::line(std::string_view text, const lamp_book& lamps) const {
    routed out;
    const std::vector<std::string> w = words(text);
    if (w.empty()) return out;  // a blank line asks nothing, and gets no answer
    const std::string verb = x10::lower(w[0]);
    const auto to = w.size() >= 2 ? x10::parse_address(w[1]) : std::nullopt;
    if (verb == "getstatus" && w.size() == 2 && to) {
        out.answer = lamps.will_be_on(*to) ? "on" : "off";
        return out;
    }
    if ((verb == "rf" || verb == "pl") && to && w.size() >= 3) {
        const auto what = x10::parse_action(w[2]);
        command c{*to, what.value_or(action::on), 0};
        if (what && c.switches() && w.size() == 3) {
            out.requests.push_back({c, {}});
            return out;
        }
        if (what && !c.switches() && w.size() <= 4) {
            // That protocol's amounts run from 0 to 31.
            const auto amount = w.size() == 4 ? x10::whole_number(w[3], 0, 31) : std::optional<int>(-1);
            if (amount) {
                c.percent = *amount < 0 ? x10::one_step_percent : (*amount * 100 + 15) / 31;
                out.requests.push_back({c, {}});
                return out;
            }
            if (x10::whole_number(w[3], 0, 1'000'000)) {
                out.problem = quoted(w[3]) + " is out of range: " + x10::lower(w[2]) + " takes 0 to 31";
                out.answer = "error: " + out.problem;
                return out;
            }
        }
    }
    out.problem = "unknown command " + quoted(text) +
                  " (rf|pl <house><unit> on|off|dim|bright [0-31], getstatus <house><unit>)";
    out.answer = "error: " + out.problem;
    return out;
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
