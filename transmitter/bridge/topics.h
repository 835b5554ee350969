// Every topic of the bridge, built and read in one place: the commands it
// takes, the states and status it publishes, and Home Assistant's.
//
//   <base>/<house>/<unit>/set       ON or OFF           (house a to p, unit 1 to 16)
//   <base>/<house>/<unit>/dim       a percentage, or empty for one step
//   <base>/<house>/<unit>/bright    likewise
//   <base>/<house>/<unit>/level/set an absolute brightness, 0 to 100
//   <base>/<house>/all/set          every configured unit of the house
//   <base>/<house>/all/resend       every configured unit of the house to its assumed state
//   <base>/<house>/<unit>/state     what the bridge sent last, retained
//   <base>/<house>/<unit>/level/state  the level it reached, retained
//   <base>/bridge/availability      online / offline (the last will)
//   <base>/bridge/status            the transmitter's state as JSON
//   <base>/bridge/hello             bridges on one base topic find each other
#pragma once

#include "command.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrix::bridge {

enum class verb { set, dim, bright, state, level_set, level_state, resend };

class topics {
public:
    topics(std::string base, std::string discovery_prefix);

    // The patterns the bridge subscribes to, Home Assistant's status among them.
    std::vector<std::string> subscriptions() const;
    std::string of(const x10::address& a, verb v) const;  // "kestrix/a/1/set"
    std::string availability() const;
    std::string status() const;
    std::string hello() const;
    // Home Assistant's: "<prefix>/device/<id>/config" and "<prefix>/status";
    // empty when discovery is off.
    std::string discovery(const std::string& id) const;
    std::string home_assistant_status() const;

    // A topic under the base, read: the unit (unit 0 with `whole_house`)
    // and the verb, or what is wrong with it.
    struct reading {
        x10::address to;
        bool whole_house = false;
        std::optional<verb> what;  // nothing: an unknown last level, named in `word`
        std::string word;
        std::string problem;  // empty when the topic names a unit
    };
    reading read(std::string_view topic) const;

private:
    std::string base_;
    std::string prefix_;
};

}  // namespace kestrix::bridge
