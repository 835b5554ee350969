#include "topics.h"

#include "shown_text.h"

#include <cctype>
#include <iterator>

namespace kestrix::bridge {
namespace {

const char* const verbs[] = {"set", "dim", "bright", "state", "level/set", "level/state", "resend"};

}  // namespace

topics::topics(std::string base, std::string discovery_prefix)
    : base_(std::move(base)), prefix_(std::move(discovery_prefix)) {}

std::vector<std::string> topics::subscriptions() const {
    std::vector<std::string> out;
    for (const char* v : verbs) out.push_back(base_ + "/+/+/" + v);
    out.push_back(hello());
    if (!prefix_.empty()) out.push_back(home_assistant_status());
    return out;
}

std::string topics::of(const x10::address& a, verb v) const {
    return base_ + "/" + static_cast<char>(std::tolower(a.house)) + "/" + (a.unit ? std::to_string(a.unit) : "all") +
           "/" + verbs[static_cast<int>(v)];
}

std::string topics::availability() const { return base_ + "/bridge/availability"; }
std::string topics::status() const { return base_ + "/bridge/status"; }
std::string topics::hello() const { return base_ + "/bridge/hello"; }
std::string topics::discovery(const std::string& id) const {
    return prefix_.empty() ? "" : prefix_ + "/device/" + id + "/config";
}
std::string topics::home_assistant_status() const { return prefix_.empty() ? "" : prefix_ + "/status"; }

topics::reading topics::read(std::string_view topic) const {
    reading r;
    // <base>/<house>/<unit>/<verb>, the verb one or two levels
    std::vector<std::string_view> levels;
    if (topic.substr(0, base_.size() + 1) == base_ + "/") {
        std::string_view rest = topic.substr(base_.size() + 1);
        for (std::size_t slash; levels.size() < 2 && (slash = rest.find('/')) != std::string_view::npos; rest = rest.substr(slash + 1))
            levels.push_back(rest.substr(0, slash));
        levels.push_back(rest);
    }
    if (levels.size() != 3 || (levels[2].find('/') != std::string_view::npos && levels[2].substr(0, 6) != "level/")) {
        r.problem = "not a command topic";
        return r;
    }
    const std::string house = x10::lower(levels[0]), unit = x10::lower(levels[1]);
    r.whole_house = unit == "all";
    // Each unit has one topic: "01" is not unit 1.
    const auto to = x10::parse_address(house + (r.whole_house ? "" : unit), r.whole_house);
    if (house.size() != 1 || !to || (!r.whole_house && std::to_string(to->unit) != unit)) {
        r.problem = "no such unit: " + text::quoted(levels[0]) + "/" + text::quoted(levels[1]) +
                    " (a house a to p, then 1 to 16 or all)";
        return r;
    }
    r.to = *to;
    r.word = std::string(levels[2]);
    for (std::size_t v = 0; v < std::size(verbs); ++v)
        if (levels[2] == verbs[v]) r.what = static_cast<verb>(v);
    return r;
}

}  // namespace kestrix::bridge
