// What the bridge makes of what comes in: a message from the broker or a
// line from the text port becomes requests for the queue, an answer, or a
// complaint for the log; the bridge's own states, kept by the broker,
// become what it learns of its lamps. Pure: no broker, no sockets, no
// clock, and no state of its own.
#pragma once

#include "command_queue.h"
#include "config.h"
#include "lamp_book.h"
#include "topics.h"

#include <ctime>
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
    std::optional<std::pair<address, bool>> learnt_state;     // a lamp's state kept by the broker: on
    std::optional<std::pair<address, percent>> learnt_level;  // and its level
};

class router {
public:
    router(topics names, std::vector<unit_config> units) : topics_(std::move(names)), units_(std::move(units)) {}

    routed message(const mqtt::message& m) const;
    // getstatus answers from what the lamps are assumed to be left at.
    routed line(std::string_view text, const lamp_book& lamps) const;

private:
    topics topics_;
    std::vector<unit_config> units_;
};

// The mochad-style line that announces a command, stamped in local time:
// "12/07 18:00:03 Tx RF HouseUnit: A1 Func: On".
std::string announcement(const command& c, std::time_t when);

}  // namespace kestrix::bridge
