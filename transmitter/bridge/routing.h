// What the bridge makes of what comes in: a message from the broker or a
// line from the text port becomes commands for the queue, an answer, or a
// complaint for the log. It keeps the state each unit was left at: what
// the bridge sent, or at start what the broker kept of it. Pure: no
// broker, no sockets, no clock.
#pragma once

#include "config.h"
#include "topics.h"

#include <ctime>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrix::bridge {

struct routed {
    std::vector<command> commands;      // for the queue, in this order
    std::string problem;                // bad input, for the log; empty when none
    std::optional<std::string> answer;  // the text port's answer, at once
    bool home_assistant_back = false;   // it forgot all that was not retained
};

class router {
public:
    router(const topics& names, const std::vector<unit_config>& units) : topics_(names), units_(units) {}

    routed message(const mqtt_message& m);
    routed line(std::string_view text) const;

    // A command went out: the state its unit was left at.
    void sent(const command& c);
    const std::map<address, bool>& states() const { return states_; }

private:
    const topics& topics_;
    const std::vector<unit_config>& units_;
    std::map<address, bool> states_;  // assumed: X10 sends nothing back
};

// The mochad-style line that announces a command, stamped in local time:
// "12/07 18:00:03 Tx RF HouseUnit: A1 Func: On".
std::string announcement(const command& c, std::time_t when);

}  // namespace kestrix::bridge
