// What the bridge makes of what comes in: a message from the broker or a
// line from the text port becomes requests for the queue, an answer, or a
// complaint for the log. It keeps what each unit was left at: what the
// bridge sent, or at start what the broker kept of it, and for the text
// port's questions what the requests it accepted will leave. Pure: no
// broker, no sockets, no clock.
#pragma once

#include "command_queue.h"
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
    std::vector<request> requests;      // for the queue, in this order
    std::string problem;                // bad input, for the log; empty when none
    std::optional<std::string> answer;  // the text port's answer, at once
    bool home_assistant_back = false;   // it forgot all that was not retained
    std::optional<std::pair<address, int>> learnt_level;  // a lamp's level kept by the broker, 0 to 100
};

// What a unit was left at: on or off, and the level when known (0 to 8).
struct unit_state {
    bool on = false;
    std::optional<int> level;
};

class router {
public:
    router(const topics& names, const std::vector<unit_config>& units) : topics_(names), units_(units) {}

    routed message(const mqtt_message& m);
    routed line(std::string_view text) const;

    // The queue took a request: what the text port says of its unit from now on.
    void accepted(const request& r);
    // A request's frames went out.
    void sent(const report& r);
    const std::map<address, unit_state>& states() const { return states_; }

private:
    const topics& topics_;
    const std::vector<unit_config>& units_;
    std::map<address, unit_state> states_;  // assumed: X10 sends nothing back
    std::map<address, bool> expected_;
};

// The mochad-style line that announces a command, stamped in local time:
// "12/07 18:00:03 Tx RF HouseUnit: A1 Func: On".
std::string announcement(const command& c, std::time_t when);

}  // namespace kestrix::bridge
