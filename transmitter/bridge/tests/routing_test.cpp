// What the bridge makes of MQTT messages and text-port lines, without a
// broker: commands for the queue, answers, and complaints for the log.
#include "discovery.h"
#include "routing.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>

namespace kestrix::bridge {
namespace {

class Routing : public ::testing::Test {
protected:
    // "A1 ON, A2 OFF", "answer on", or "error: " and what the log says.
    static std::string outcome(const routed& r) {
        if (!r.problem.empty()) return "error: " + r.problem;
        if (r.home_assistant_back) return "home assistant is back";
        std::string out = r.answer ? "answer " + *r.answer : "";
        for (const command& c : r.commands) out += (out.empty() ? "" : ", ") + c.text();
        return out;
    }
    std::string message(const std::string& topic, const std::string& payload, bool retained = false) {
        return outcome(route.message({topic, payload, retained}));
    }
    std::string line(const std::string& text) { return outcome(route.line(text)); }

    topics names{"kestrix", "homeassistant"};
    std::vector<unit_config> units{{{'B', 12}, "Fan", false}, {{'C', 3}, "C3", true}, {{'C', 5}, "C5", true}};
    router route{names, units};
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
        route_case{"kestrix/a/1/x/set", "ON", "error: not a command topic"}, route_case{"other/a/1/set", "ON", "error: not a command topic"},
        route_case{"homeassistant/status", "online", "home assistant is back"},
        route_case{"", "rf a1 on", "A1 ON"}, route_case{"", "RF A1 OFF", "A1 OFF"}, route_case{"", "pl b12 on", "B12 ON"},
        route_case{"", "rf a1 dim 15", "A1 DIM 48%"}, route_case{"", "rf a1 bright", "A1 BRIGHT 12%"},
        route_case{"", "rf a1 dim 31", "A1 DIM 100%"}, route_case{"", "  getstatus  A1 ", "answer off"},
        route_case{"", "rf a1 dim 32", "error: unknown command 'rf a1 dim 32'"}, route_case{"", "rf q1 on", "error: unknown command"},
        route_case{"", "rf a1", "error: unknown command"}, route_case{"", "", "error: unknown command"},
        route_case{"", "rf a1 on now", "error: unknown command"},
        route_case{"", "hello\x1b[2J", "error: unknown command 'hello\\x1b[2J'"}));

TEST_F(Routing, ATextLineAndATopicEndInTheSameCommand) {
    EXPECT_EQ(route.line("rf a1 dim 15").commands, route.message({"kestrix/a/1/dim", "48", false}).commands);
    const std::string line = announcement(route.line("rf b12 bright 3").commands.at(0), 0);
    EXPECT_EQ(line.substr(line.find(" Tx")), " Tx RF HouseUnit: B12 Func: Bright");
    EXPECT_EQ(route.line("rf q1 on").answer.value_or("").rfind("error: unknown command", 0), 0u);
}

TEST_F(Routing, ARetainedCommandIsIgnoredButARetainedStateIsLearntOnce) {
    EXPECT_EQ(message("kestrix/a/2/set", "ON", true), "error: ignored a retained command on kestrix/a/2/set "
                                                      "(publish commands without the retain flag)");
    EXPECT_EQ(message("kestrix/a/1/state", "ON", true), "");  // what the lamp was left at
    EXPECT_EQ(message("kestrix/a/1/state", "OFF", true), "");  // known already: what the bridge knows wins
    EXPECT_EQ(message("kestrix/a/3/state", "bogus", true), "");
    EXPECT_EQ(line("getstatus a1"), "answer on");
    EXPECT_EQ(line("getstatus a3"), "answer off");
    route.sent({{'A', 1}, action::off, 0});
    EXPECT_EQ(line("getstatus a1"), "answer off");
    route.sent({{'A', 1}, action::dim, 12});  // its addressing frame lit the lamp
    EXPECT_EQ(line("getstatus a1"), "answer on");
}

// Home Assistant publishes and listens where discovery says: every topic
// it is given is one the bridge serves, for the unit the document is for.
TEST_F(Routing, EveryTopicInTheDiscoveryDocumentsIsOneTheBridgeServes) {
    config c;
    c.mqtt.client_id = "hub";
    c.units = units;
    int checked = 0;
    for (const discovery_document& d : discovery_documents(c, names)) {
        const nlohmann::json doc = nlohmann::json::parse(d.payload);
        EXPECT_EQ(doc["availability"][0]["topic"], names.availability());
        for (const auto& [key, component] : doc["cmps"].items()) {
            const auto unit = std::find_if(units.begin(), units.end(), [&](const unit_config& u) {
                return key.rfind(x10::lower(u.at.text()), 0) == 0;
            });
            for (const auto& [field, value] : component.items()) {
                if (field.size() < 6 || field.compare(field.size() - 6, 6, "_topic") != 0) continue;
                ++checked;
                const std::string topic = value;
                if (unit == units.end()) {  // the bridge's own device
                    EXPECT_EQ(topic, names.status()) << key << "." << field;
                } else if (field == "state_topic") {
                    EXPECT_EQ(topic, names.of(unit->at, verb::state)) << key;
                } else {
                    const std::string payload = component.value("payload_press", std::string(component.value("payload_on", "")));
                    const routed r = route.message({topic, payload, false});
                    ASSERT_EQ(r.commands.size(), 1u) << key << "." << field << ": " << r.problem;
                    EXPECT_EQ(r.commands[0].to, unit->at) << key << "." << field;
                }
            }
        }
    }
    EXPECT_EQ(checked, 2 + 2 + 4 + 4);  // the transmitter's two; a switch's two; a light's two and two buttons'
}

}  // namespace
}  // namespace kestrix::bridge
