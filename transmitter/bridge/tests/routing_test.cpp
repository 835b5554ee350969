// What the bridge makes of MQTT messages and text-port lines, without a
// broker: commands for the queue, answers, and complaints for the log.
#include "discovery.h"
#include "routing.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <set>

namespace kestrix::bridge {
namespace {

class Routing : public ::testing::Test {
protected:
    // "A1 ON, A2 OFF", "answer on", or "error: " and what the log says.
    static std::string outcome(const routed& r) {
        if (!r.problem.empty()) return "error: " + r.problem;
        if (r.home_assistant_back) return "home assistant is back";
        std::string out = r.answer ? "answer " + *r.answer : "";
        for (const request& q : r.requests) out += (out.empty() ? "" : ", ") + q.text();
        return out;
    }
    std::string message(const std::string& topic, const std::string& payload, bool retained = false) {
        return outcome(route.message({topic, payload, retained}));
    }
    std::string line(const std::string& text) { return outcome(route.line(text, lamps)); }
    // A message as the loop takes it: what it learns of a lamp goes to the book.
    std::string learn(const std::string& topic, const std::string& payload) {
        const routed r = route.message({topic, payload, true});
        if (r.learnt_state) lamps.learn_state(r.learnt_state->first, r.learnt_state->second);
        if (r.learnt_level) lamps.learn_level(r.learnt_level->first, r.learnt_level->second);
        return outcome(r);
    }

    topics names{"kestrix", "homeassistant"};
    std::vector<unit_config> units{{{'B', 12}, "Fan", false, 0, {}}, {{'C', 3}, "C3", true, 0, {}}, {{'C', 5}, "C5", true, 0, {}}};
    router route{names, units};
    lamp_book lamps;
};

struct route_case {
    const char* topic;  // empty: `words` is a text-port line
    std::string words;
    std::string says;  // the outcome; for a complaint "error: " and a part of it
};

std::ostream& operator<<(std::ostream& os, const route_case& c) { return os << c.topic << " '" << c.words << "'"; }

class Routes : public Routing, public ::testing::WithParamInterface<route_case> {};

TEST_P(Routes, BecomeTheirCommandOrSayWhatIsWrong) {
    const route_case& c = GetParam();
    const std::string got = *c.topic ? message(c.topic, c.words) : line(c.words);
    if (c.says.rfind("error: ", 0) != 0) {
        EXPECT_EQ(got, c.says);
    } else {
        EXPECT_EQ(got.rfind("error: ", 0), 0u) << got;
        EXPECT_NE(got.find(c.says.substr(7)), std::string::npos) << got;
    }
}

INSTANTIATE_TEST_SUITE_P(
    TopicsAndLines, Routes,
    ::testing::Values(
        route_case{"kestrix/a/1/set", "ON", "A1 ON"}, route_case{"kestrix/A/1/set", "off", "A1 OFF"},
        route_case{"kestrix/p/16/set", "On", "P16 ON"}, route_case{"kestrix/a/1/dim", "", "A1 DIM 12%"},
        route_case{"kestrix/a/1/bright", "40%", "A1 BRIGHT 40%"},
        route_case{"kestrix/c/all/set", "OFF", "C3 OFF, C5 OFF"},
        route_case{"kestrix/d/all/set", "OFF", "error: ignored kestrix/d/all/set: no unit of house D is configured"},
        route_case{"kestrix/q/1/set", "ON", "error: ignored a message on kestrix/q/1/set: no such unit"},
        route_case{"kestrix/a/17/set", "ON", "error: no such unit"}, route_case{"kestrix/a/01/set", "ON", "error: no such unit"},
        route_case{"kestrix/a/1/set", "toggle", "error: unknown word 'toggle' (ON or OFF)"},
        route_case{"kestrix/a/1/set", "\xff\xfe", "error: the payload '\\xff\\xfe' is not UTF-8"},
        route_case{"kestrix/a/1/set", std::string(1 << 20, 'O'), "error: a payload of 1048576 bytes is no command"},
        route_case{"kestrix/a/1/dim", "0", "error: '0' is not a percentage"},
        route_case{"kestrix/a/1/dim", "101", "error: '101' is not a percentage"},
        route_case{"kestrix/a/all/dim", "", "error: unknown command topic 'dim'"},
        route_case{"kestrix/a/1/level/set", "30", "A1 LEVEL 30%"}, route_case{"kestrix/a/1/level/set", "0", "A1 LEVEL 0%"},
        route_case{"kestrix/a/1/level/set", "100%", "A1 LEVEL 100%"},
        route_case{"kestrix/a/1/level/set", "101", "error: '101' is not a level from 0 to 100"},
        route_case{"kestrix/a/1/level/set", "", "error: '' is not a level"},
        route_case{"kestrix/a/all/level/set", "30", "error: unknown command topic 'level/set'"},
        route_case{"kestrix/a/1/level/x", "30", "error: unknown command topic 'level/x'"},
        route_case{"kestrix/a/1/x/set", "ON", "error: not a command topic"}, route_case{"other/a/1/set", "ON", "error: not a command topic"},
        route_case{"homeassistant/status", "online", "home assistant is back"},
        route_case{"", "rf a1 on", "A1 ON"}, route_case{"", "RF A1 OFF", "A1 OFF"}, route_case{"", "pl b12 on", "B12 ON"},
        route_case{"", "rf a1 dim 15", "A1 DIM 48%"}, route_case{"", "rf a1 bright", "A1 BRIGHT 12%"},
        route_case{"", "rf a1 dim 31", "A1 DIM 100%"}, route_case{"", "  getstatus  A1 ", "answer off"},
        route_case{"", "rf a1 dim 32", "error: '32' is out of range: dim takes 0 to 31"},
        route_case{"", "RF A1 BRIGHT 40", "error: '40' is out of range: bright takes 0 to 31"},
        route_case{"", "rf q1 on", "error: unknown command"}, route_case{"", "rf a1", "error: unknown command"},
        route_case{"", "", ""}, route_case{"", " \t ", ""},
        route_case{"", "rf a1 on now", "error: unknown command"},
        route_case{"", "hello\x1b[2J", "error: unknown command 'hello\\x1b[2J'"}));

TEST_F(Routing, ATextLineAndATopicEndInTheSameCommand) {
    EXPECT_EQ(route.line("rf a1 dim 15", lamps).requests, route.message({"kestrix/a/1/dim", "48", false}).requests);
    const std::string line = announcement(route.line("rf b12 bright 3", lamps).requests.at(0).cmd, 0);
    EXPECT_EQ(line.substr(line.find(" Tx")), " Tx RF HouseUnit: B12 Func: Bright");
    EXPECT_EQ(route.line("rf q1 on", lamps).answer.value_or("").rfind("error: unknown command", 0), 0u);
}

TEST_F(Routing, ARetainedCommandIsIgnoredButARetainedStateIsLearntOnce) {
    EXPECT_EQ(message("kestrix/a/2/set", "ON", true), "error: ignored a retained command on kestrix/a/2/set "
                                                      "(publish commands without the retain flag)");
    EXPECT_EQ(learn("kestrix/a/1/state", "ON"), "");  // what the lamp was left at
    EXPECT_EQ(learn("kestrix/a/1/state", "OFF"), "");  // known already: what the bridge knows wins
    EXPECT_EQ(learn("kestrix/a/3/state", "bogus"), "");
    EXPECT_EQ(learn("kestrix/a/1/level/state", "50"), "");
    EXPECT_EQ(learn("kestrix/a/4/level/state", "40"), "");
    EXPECT_EQ(learn("kestrix/a/4/state", "ON"), "");  // its level came first
    EXPECT_EQ(line("getstatus a1"), "answer on");
    EXPECT_EQ(line("getstatus a3"), "answer off");
    EXPECT_EQ(lamps.of({'A', 1})->level, steps{4});
    EXPECT_EQ(lamps.of({'A', 4})->level, steps{3});
    EXPECT_TRUE(lamps.of({'A', 4})->on);
    lamps.reported({report::kind::sent, {{{'A', 1}, action::off, 0}, {}}, 0, {}, steps{0}});
    EXPECT_FALSE(lamps.of({'A', 1})->on);
}

// A mochad client asks right after its command: the answer is what the
// command will leave, not what the lamp was before it went out.
TEST_F(Routing, StatusIsWhatTheAcceptedCommandsWillLeave) {
    for (const auto& [request, status] : {std::pair{"rf a2 on", "on"}, {"rf a2 off", "off"}, {"rf a2 dim 3", "on"}}) {
        lamps.accepted(route.line(request, lamps).requests.at(0));
        EXPECT_EQ(line("getstatus a2"), std::string("answer ") + status) << request;
    }
    lamps.accepted({{{'A', 2}, action::on, 0}, percent{0}});  // level 0 is off
    EXPECT_EQ(line("getstatus a2"), "answer off");
}

// Home Assistant publishes and listens where discovery says: every topic
// it is given is one the bridge serves, for the units the entity is for.
TEST_F(Routing, EveryTopicInTheDiscoveryDocumentsIsOneTheBridgeServes) {
    config c;
    c.mqtt.client_id = "hub";
    c.units = units;
    int checked = 0;
    for (const discovery_document& d : discovery_documents(c, names)) {
        const nlohmann::json doc = nlohmann::json::parse(d.payload);
        EXPECT_EQ(doc["availability"][0]["topic"], names.availability());
        for (const auto& [key, component] : doc["cmps"].items()) {
            std::set<address> meant;  // a unit's entities, or a house's "All off"
            for (const unit_config& u : units)
                if (key.rfind(x10::lower(u.at.text()), 0) == 0 || key == std::string("all_off_") + static_cast<char>(std::tolower(u.at.house)) ||
                    key == std::string("resend_") + static_cast<char>(std::tolower(u.at.house)))
                    meant.insert(u.at);
            for (const auto& [field, value] : component.items()) {
                if (field.size() < 6 || field.compare(field.size() - 6, 6, "_topic") != 0) continue;
                ++checked;
                const std::string topic = value;
                if (meant.empty()) {  // the transmitter's state
                    EXPECT_EQ(topic, names.status()) << key << "." << field;
                } else if (field == "state_topic" || field == "brightness_state_topic") {
                    EXPECT_EQ(topic, names.of(*meant.begin(), field == "state_topic" ? verb::state : verb::level_state)) << key;
                } else {
                    const std::string payload = field == "brightness_command_topic" ? "50" : component.value("payload_press", std::string(component.value("payload_on", "")));
                    std::set<address> got;
                    for (const request& q : route.message({topic, payload, false}).requests) got.insert(q.cmd.to);
                    EXPECT_EQ(got, meant) << key << "." << field;
                }
            }
        }
    }
    // The transmitter and its three figures, two houses' All off and Send again, a switch, two lights with buttons.
    EXPECT_EQ(checked, 2 + 3 + 2 + 2 + 2 + 6 + 6);
}

}  // namespace
}  // namespace kestrix::bridge
