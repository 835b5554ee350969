// The real kestrix-bridge against a real mosquitto, its serial port a
// pseudo-terminal watched by the ioctl shim: what a hub and a mochad
// client see, and what goes out on the line.
#include "testkit/broker.h"
#include "testkit/pseudo_terminal.h"
#include "testkit/shim.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <regex>

namespace kestrix::testing {
namespace {

using nlohmann::json;

class Live : public ::testing::Test {
protected:
    void SetUp() override {
        if (!broker::available()) GTEST_SKIP() << "mosquitto is not installed (apt install mosquitto): no broker to test against";
        mqtt = std::make_unique<broker>();
        configure("bridge.toml", line, "client_id = \"test\"\n[mochad]\nlisten = \"127.0.0.1:" + std::to_string(text_port) + "\"\n");
        start();
    }

    // A configuration for a bridge on `port`, with `more` after its [mqtt] host.
    void configure(const char* name, const pseudo_terminal& port, const std::string& more,
                   const std::string& units = "[[unit]]\naddress = \"A1\"\nname = \"Hall lamp\"\n"
                                              "[[unit]]\naddress = \"B12\"\nkind = \"switch\"\n") const {
        folder.write(name, "[transmitter]\ndevice = \"" + port.slave + "\"\nbusy_wait = 5\n[mqtt]\nhost = \"127.0.0.1\"\nport = " +
                               std::to_string(mqtt->port()) + "\n" + more + units);
    }
    // A bridge under the shim, watching its port; what it remembers
    // between runs stays in the test's folder.
    std::unique_ptr<child> program(const std::vector<std::string>& argv, const char* who, const pseudo_terminal& port) const {
        return std::make_unique<child>(
            launch(argv, shim_env(shim_log(who), {{"KESTRIX_SHIM_WATCH", port.slave}, {"XDG_STATE_HOME", folder / "state"}})));
    }
    std::unique_ptr<child> program(const std::vector<std::string>& argv, const char* who) const { return program(argv, who, line); }
    void start() {
        bridge = program({KESTRIX_BRIDGE, "--config", folder / "bridge.toml", "-v"}, "bridge");
        ASSERT_TRUE(bridge->says("connected to the broker")) << bridge->output();
        // Online once no other bridge answered; an earlier run left "offline".
        ASSERT_TRUE(mqtt_listener(mqtt->port(), {"kestrix/bridge/availability"})
                        .next("kestrix/bridge/availability", 10, [](const mqtt::message& m) { return m.payload == "online"; }));
    }
    // Stops the bridge and replays what it put on the line. It says
    // "offline" itself (the last will would come seconds later) and leaves
    // the broker cleanly.
    recording stop() {
        const ending end = bridge->finish(SIGTERM);
        EXPECT_TRUE(end.ok()) << end.status << "\n" << end.output;
        const auto offline = mqtt_listener(mqtt->port(), {"kestrix/bridge/availability"}).next("kestrix/bridge/availability", 1);
        EXPECT_EQ(offline.value_or(mqtt::message{}).payload, "offline");
        EXPECT_EQ(mqtt->log().find("disconnected due to"), std::string::npos) << mqtt->log();
        return replay_shim_log(shim_log());
    }
    std::string shim_log(const char* who = "bridge") const { return folder / (std::string(who) + ".log"); }
    // Waits for a status whose JSON satisfies `wanted`.
    std::optional<json> status(mqtt_listener& l, const std::function<bool(const json&)>& wanted) {
        const auto found = l.next("kestrix/bridge/status", 15,
                                  [&](const mqtt::message& m) { return wanted(json::parse(m.payload)); });
        return found ? std::optional<json>(json::parse(found->payload)) : std::nullopt;
    }

    pseudo_terminal line;
    int text_port = free_port();
    scratch folder{"kestrix-live"};
    std::unique_ptr<broker> mqtt;
    std::unique_ptr<child> bridge;
};

// How often `l` heard `payload` on `topic`.
long said_on(const mqtt_listener& l, const std::string& topic, const std::string& payload) {
    return std::count_if(l.seen().begin(), l.seen().end(), [&](const mqtt::message& m) { return m.topic == topic && m.payload == payload; });
}

// Every topic the broker keeps a message of under `pattern`, with its
// payload: what a newcomer finds. The retained messages come before the
// answer to anything it says after subscribing.
std::vector<std::string> retained_under(int port, const std::string& pattern) {
    mqtt_listener newcomer(port, {pattern, "kestrix/test/marker"});
    newcomer.publish("kestrix/test/marker", "");
    EXPECT_TRUE(newcomer.next("kestrix/test/marker"));
    std::vector<std::string> kept;
    for (const mqtt::message& m : newcomer.seen())
        if (m.retained) kept.push_back(m.topic + " " + m.payload);
    return kept;
}

// What the broker keeps, as a client that subscribes now gets it.
std::optional<mqtt::message> kept(int port, const std::string& topic) { return mqtt_listener(port, {topic}).next(topic); }

TEST_F(Live, DiscoveryIsRetainedWithTheBridgeOnlineAndTheLastWillSaysOffline) {
    mqtt_listener hub(mqtt->port(), {"homeassistant/#", "kestrix/bridge/availability"});
    const auto a1 = hub.next("homeassistant/device/kestrix_kestrix_a1/config");
    ASSERT_TRUE(a1);
    EXPECT_TRUE(kept(mqtt->port(), a1->topic).value_or(mqtt::message{}).retained);
    const json doc = json::parse(a1->payload);
    EXPECT_EQ(doc["dev"]["via_device"], "kestrix_kestrix");
    EXPECT_EQ(doc["cmps"]["a1"]["unique_id"], "kestrix_kestrix_a1");  // from the base topic: a new host name keeps it
    EXPECT_EQ(doc["cmps"]["a1"]["command_topic"], "kestrix/a/1/set");
    EXPECT_EQ(doc["cmps"]["a1"]["brightness_command_topic"], "kestrix/a/1/level/set");
    EXPECT_EQ(doc["cmps"]["a1"]["brightness_scale"], 100);
    EXPECT_EQ(doc["cmps"]["a1"]["on_command_type"], "brightness");
    EXPECT_EQ(doc["cmps"]["a1_dim"]["enabled_by_default"], false);
    EXPECT_FALSE(doc["cmps"]["a1"].contains("object_id"));
    EXPECT_FALSE(doc["o"].contains("url"));
    EXPECT_TRUE(hub.next("homeassistant/device/kestrix_kestrix_b12/config"));
    const auto own = hub.next("homeassistant/device/kestrix_kestrix/config");
    ASSERT_TRUE(own);
    const json bridge_doc = json::parse(own->payload)["cmps"];
    EXPECT_EQ(bridge_doc["all_off_b"]["command_topic"], "kestrix/b/all/set");
    EXPECT_EQ(bridge_doc["resend_b"]["command_topic"], "kestrix/b/all/resend");
    EXPECT_EQ(bridge_doc["sent"]["state_class"], "total_increasing");
    EXPECT_EQ(bridge_doc["problem"]["device_class"], "problem");
    for (const char* figure : {"transmitter", "sent", "queue", "problem"}) EXPECT_EQ(bridge_doc[figure]["entity_category"], "diagnostic");
    const auto online = kept(mqtt->port(), "kestrix/bridge/availability");
    ASSERT_TRUE(online);
    EXPECT_EQ(online->payload, "online");
    EXPECT_TRUE(online->retained);

    bridge->finish(SIGKILL);
    EXPECT_TRUE(hub.next("kestrix/bridge/availability", 10, [](const auto& m) { return m.payload == "offline"; }));
    // The last will is kept for whoever subscribes later, Home Assistant starting up say.
    const auto will = kept(mqtt->port(), "kestrix/bridge/availability");
    ASSERT_TRUE(will);
    EXPECT_EQ(will->payload, "offline");
    EXPECT_TRUE(will->retained);
}

TEST_F(Live, ACommandSendsItsFrameTwiceAndPublishesTheStateWhateverCameBefore) {
    bridge->finish(SIGTERM);
    mqtt_listener hub(mqtt->port(), {"kestrix/#"});
    hub.publish("kestrix/a/2/set", "ON", true);  // retained, replayed at the next connection: ignored
    start();
    hub.publish("kestrix/a/1/set", std::string(1 << 20, 'x'));
    hub.publish("kestrix/a/1/set", "\xc3\x28");
    hub.publish("kestrix/z/1/set", "ON");
    hub.publish("kestrix/a/1/set", "ON");
    hub.publish("kestrix/b/all/set", "OFF");  // every configured unit of house B: B12
    const auto state = hub.next("kestrix/a/1/state");
    ASSERT_TRUE(state) << bridge->output();
    EXPECT_EQ(state->payload, "ON");
    ASSERT_TRUE(hub.next("kestrix/b/12/state"));
    EXPECT_EQ(retained_under(mqtt->port(), "kestrix/b/12/level/state"), std::vector<std::string>{});  // a switch has no brightness
    EXPECT_TRUE(mqtt_listener(mqtt->port(), {"kestrix/a/1/state"}).next("kestrix/a/1/state")->retained);
    hub.publish("kestrix/a/2/set", "", true);

    const auto rec = stop();
    EXPECT_EQ(frames_of(rec.rx), (std::vector<std::string>{"D5 AA 60 00 AD", "D5 AA 60 00 AD",
                                                                              "D5 AA 74 38 AD", "D5 AA 74 38 AD"}));
    for (const auto& v : rec.rx.violations()) ADD_FAILURE() << v.what;
    EXPECT_EQ(rec.opened, rec.closed);  // the port is let go after the burst
    for (const char* said : {"ignored a retained command on kestrix/a/2/set", "a payload of 1048576 bytes",
                             "is not UTF-8", "no such unit"})
        EXPECT_NE(bridge->output().find(said), std::string::npos) << said << "\n" << bridge->output();
}

TEST_F(Live, ABurstIsMergedAndSentOneFrameAtATime) {
    mqtt_listener hub(mqtt->port(), {"kestrix/#"});
    for (int round = 0; round < 10; ++round)
        for (int unit = 1; unit <= 10; ++unit) hub.publish("kestrix/c/" + std::to_string(unit) + "/set", round % 2 ? "OFF" : "ON");
    // The last word for each unit was OFF.
    for (int unit = 1; unit <= 10; ++unit)
        EXPECT_TRUE(hub.next("kestrix/c/" + std::to_string(unit) + "/state", 15,
                             [](const mqtt::message& m) { return m.payload == "OFF"; }))
            << unit;
    const auto rec = stop();
    const std::size_t commands = rec.rx.frames().size() / 2;
    EXPECT_GE(commands, 10u);
    EXPECT_LE(commands, 12u);  // one in flight at a time; each unit's toggles merged
    EXPECT_EQ(rec.opened, 1);  // the port is kept for the whole burst, and let go after it
    EXPECT_EQ(rec.closed, 1);
    for (const auto& v : rec.rx.violations()) ADD_FAILURE() << v.what;  // no two frames overlap
}

TEST_F(Live, APortAnotherProgramHoldsIsWaitedForAndTheStatusSaysSo) {
    mqtt_listener hub(mqtt->port(), {"kestrix/#"});
    const int held = ::open(line.slave.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    hub.publish("kestrix/a/3/set", "ON");
    const auto busy = status(hub, [](const json& s) { return s["state"] == "busy"; });
    ASSERT_TRUE(busy);
    EXPECT_EQ((*busy)["error"]["number"], 8010);
    ::close(held);
    EXPECT_TRUE(hub.next("kestrix/a/3/state"));
    EXPECT_TRUE(status(hub, [](const json& s) { return s["state"] == "ok" && s["sent"] == 1; }));
}

TEST_F(Live, KestrixSendWaitsForTheBridgesBurstAndGoesAfterIt) {
    mqtt_listener hub(mqtt->port(), {"kestrix/#"});
    for (const char* unit : {"1", "2", "3"}) hub.publish(std::string("kestrix/d/") + unit + "/set", "ON");
    ASSERT_TRUE(hub.next("kestrix/d/1/state"));  // the burst holds the port now
    const auto send = program({KESTRIX_SEND, "--wait", "5", "-v", "--device", line.slave, "A1", "on"}, "send");
    EXPECT_TRUE(send->says("waiting up to 5 s")) << send->output();
    const ending sent = send->finish();
    EXPECT_TRUE(sent.ok()) << sent.output;
    const auto bridge_edges = stop().edges_ns;
    const auto send_rec = replay_shim_log(shim_log("send"));
    EXPECT_EQ(frames_of(send_rec.rx), (std::vector<std::string>{"D5 AA 60 00 AD", "D5 AA 60 00 AD"}));
    ASSERT_FALSE(bridge_edges.empty());
    ASSERT_FALSE(send_rec.edges_ns.empty());
    EXPECT_GT(send_rec.edges_ns.front(), bridge_edges.back());
}

// A mochad client: one socket, one line at a time.
class text_client {
public:
    explicit text_client(int port) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<std::uint16_t>(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    }
    ~text_client() { ::close(fd_); }
    void say(const std::string& text) { [[maybe_unused]] auto n = ::send(fd_, text.data(), text.size(), MSG_NOSIGNAL); }
    // The next line, if one comes within `seconds`.
    std::optional<std::string> line(double seconds = 2) {
        for (;;) {
            if (const auto end = in_.find('\n'); end != std::string::npos) {
                std::string l = in_.substr(0, end);
                in_.erase(0, end + 1);
                return l;
            }
            pollfd p{fd_, POLLIN, 0};
            char buf[512];
            if (::poll(&p, 1, static_cast<int>(seconds * 1000)) <= 0) return std::nullopt;
            const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
            if (n <= 0) return std::nullopt;
            in_.append(buf, static_cast<std::size_t>(n));
        }
    }

private:
    int fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    std::string in_;
};

TEST_F(Live, TheTextPortAnswersEachLineAtOnceAndTheFrameFollows) {
    mqtt_listener hub(mqtt->port(), {"kestrix/#"});
    text_client client(text_port);
    client.say("rf a1 off\r\n");
    const auto answer = client.line(0.5);  // at once, long before the frame's 700 ms are over
    ASSERT_TRUE(answer);
    EXPECT_TRUE(std::regex_match(*answer, std::regex(R"(\d\d/\d\d \d\d:\d\d:\d\d Tx RF HouseUnit: A1 Func: Off)"))) << *answer;
    ASSERT_TRUE(hub.next("kestrix/a/1/state"));
    client.say("getstatus a1\n");
    EXPECT_EQ(client.line(), "off");
    client.say("frobnicate a1\n" + std::string(1 << 20, 'x') + "\ngetstatus b12\n");
    EXPECT_EQ(client.line().value_or("").rfind("error: unknown command 'frobnicate a1'", 0), 0u);
    EXPECT_EQ(client.line(), "error: line too long");
    EXPECT_EQ(client.line(), "off");
    EXPECT_FALSE(client.line(0.2));  // one line each, nothing more

    EXPECT_EQ(frames_of(stop().rx), (std::vector<std::string>{"D5 AA 60 20 AD", "D5 AA 60 20 AD"}));
}

// Home Assistant's slider: a level, planned from what the lamp is assumed
// at, and the level reached said back on the library's steps.
TEST_F(Live, ASliderMoveDimsTheLampToTheNearestStepAndSaysWhereItGot) {
    mqtt_listener hub(mqtt->port(), {"kestrix/#"});
    hub.publish("kestrix/a/1/level/set", "30");  // not known yet: on at full, then down
    const auto level = hub.next("kestrix/a/1/level/state");
    ASSERT_TRUE(level) << bridge->output();
    EXPECT_EQ(level->payload, "25");
    EXPECT_EQ(hub.next("kestrix/a/1/state")->payload, "ON");
    hub.publish("kestrix/a/1/level/set", "75");
    EXPECT_EQ(hub.next("kestrix/a/1/level/state").value_or(mqtt::message{}).payload, "75");
    // Home Assistant's "Send states again": on at full, and down to 75 %.
    hub.publish("kestrix/a/all/resend", "PRESS");
    EXPECT_EQ(hub.next("kestrix/a/1/level/state").value_or(mqtt::message{}).payload, "75") << bridge->output();
    const std::string on = "D5 AA 60 00 AD", dim = "D5 AA 60 98 AD", bright = "D5 AA 60 88 AD";
    std::vector<std::string> expected = {on, on};
    expected.insert(expected.end(), 12, dim);  // 6 steps of 12.5 %, each frame twice
    expected.insert(expected.end(), {on, on});   // addressed again,
    expected.insert(expected.end(), 8, bright);  // then 4 steps up
    expected.insert(expected.end(), {on, on, dim, dim, dim, dim});
    EXPECT_EQ(frames_of(stop().rx), expected);
    // What the broker keeps is learnt back: 75 % now, so 50 % is two steps down.
    start();
    hub.publish("kestrix/a/1/level/set", "50");
    EXPECT_EQ(hub.next("kestrix/a/1/level/state", 10, [](const mqtt::message& m) { return m.payload == "50"; }).has_value(), true);
    const auto again = frames_of(stop().rx);
    EXPECT_EQ(std::count(again.begin(), again.end(), dim), 4) << again.size();
}

// A home with Home Assistant's mochad integration and no broker at all.
TEST_F(Live, TheTextPortSendsWithNoBrokerAtAll) {
    bridge->finish(SIGTERM);
    folder.write("alone.toml", "[transmitter]\ndevice = \"" + line.slave + "\"\n[mqtt]\nhost = \"127.0.0.1\"\nport = " +
                                   std::to_string(free_port()) + "\n[mochad]\nlisten = \"127.0.0.1:" + std::to_string(text_port) + "\"\n");
    bridge = program({KESTRIX_BRIDGE, "--config", folder / "alone.toml", "-v"}, "alone");
    ASSERT_TRUE(bridge->says("cannot reach the broker")) << bridge->output();
    text_client client(text_port);
    client.say("rf a1 on\n");
    EXPECT_NE(client.line().value_or("").find("Tx RF HouseUnit: A1 Func: On"), std::string::npos);
    EXPECT_TRUE(bridge->says("A1 ON sent")) << bridge->output();
    EXPECT_TRUE(bridge->finish(SIGTERM).ok());
    EXPECT_EQ(frames_of(replay_shim_log(shim_log("alone")).rx), (std::vector<std::string>{"D5 AA 60 00 AD", "D5 AA 60 00 AD"}));
}

// Two houses, two transmitters, one broker.
class TwoBridges : public Live {
protected:
    std::unique_ptr<child> second(const std::string& more) {
        configure("second.toml", line2, more, "[[unit]]\naddress = \"A3\"\n");
        return program({KESTRIX_BRIDGE, "--config", folder / "second.toml", "-v"}, "second", line2);
    }
    pseudo_terminal line2;
};

TEST_F(TwoBridges, OnOneBaseTopicTheSecondNamesTheFirstAndStops) {
    auto other = second("client_id = \"second\"\n");
    const ending end = other->finish(0, 15);
    EXPECT_TRUE(end.exited && end.status == 2) << end.status << "\n" << end.output;
    EXPECT_NE(end.output.find("another kestrix-bridge serves the base topic 'kestrix': client id 'test' on host"),
              std::string::npos) << end.output;
    EXPECT_EQ(replay_shim_log(shim_log("second")).opened, 0);
    mqtt_listener hub(mqtt->port(), {"kestrix/#"});  // the first serves on, and the broker still names it
    EXPECT_EQ(json::parse(hub.next("kestrix/bridge/status")->payload)["client_id"], "test");
    EXPECT_EQ(hub.next("kestrix/bridge/availability")->payload, "online");
}

// One client id used twice: the broker gives it to whoever connects last.
// The newcomer names the other and stops; the one that serves serves on,
// and Home Assistant never sees it offline.
struct shared_id {
    const char* name;
    const char* more;  // the second's [mqtt]
    const char* says;
};

std::ostream& operator<<(std::ostream& os, const shared_id& c) { return os << c.name; }

class SharedId : public TwoBridges, public ::testing::WithParamInterface<shared_id> {};

TEST_P(SharedId, TheNewcomerStopsAndTheFirstStaysOnline) {
    mqtt_listener hub(mqtt->port(), {"kestrix/#"});
    auto other = second(GetParam().more);
    const ending end = other->finish(0, 30);
    EXPECT_TRUE(end.exited && end.status == 2) << end.status << "\n" << end.output;
    EXPECT_NE(end.output.find(GetParam().says), std::string::npos) << end.output;
    EXPECT_EQ(replay_shim_log(shim_log("second")).opened, 0);
    // The first is back on the broker: each time it was thrown off it came
    // back and said "online" after subscribing (its first one the broker
    // kept). A command sent before the last of those would be lost with
    // its connection, as it would for any hub.
    int losses = 0;
    while (bridge->says("lost the broker", 1)) ++losses;  // all said before the second could stop
    for (int i = 0; i <= losses; ++i)
        ASSERT_TRUE(hub.next("kestrix/bridge/availability", 15, [](const mqtt::message& m) { return m.payload == "online"; }))
            << bridge->output();
    hub.publish("kestrix/a/1/set", "ON");
    EXPECT_TRUE(hub.next("kestrix/a/1/state", 15)) << bridge->output();
    EXPECT_EQ(said_on(hub, "kestrix/bridge/availability", "offline"), 0);
}

INSTANTIATE_TEST_SUITE_P(
    BaseTopics, SharedId,
    ::testing::Values(shared_id{"same_base_topic", "client_id = \"test\"\n",
                                "with the client id 'test' of this one: client id 'test' on host"},
                      shared_id{"another_base_topic", "client_id = \"test\"\nbase_topic = \"house2\"\n",
                                "another client uses the client id 'test'; this one stops"}),
    [](const auto& row) { return std::string(row.param.name); });

// A second bridge that names the first's text port cannot run (exit 1,
// which systemd restarts: the port may be free by then).
TEST_F(TwoBridges, OnATextPortInUseTheSecondSaysSoAndExitsWithOne) {
    auto other = second("base_topic = \"house2\"\n[mochad]\nlisten = \"127.0.0.1:" + std::to_string(text_port) + "\"\n");
    const ending end = other->finish(0, 15);
    EXPECT_TRUE(end.exited && end.status == 1) << end.status << "\n" << end.output;
    EXPECT_NE(end.output.find("the text port cannot listen on 127.0.0.1:" + std::to_string(text_port) + ": Address already in use"),
              std::string::npos) << end.output;
}

// Two on one machine, each with its default client id.
TEST_F(TwoBridges, WithTheirOwnBaseTopicsEachSwitchesItsOwnHouseOnly) {
    stop();
    configure("bridge.toml", line, "");
    start();
    mqtt_listener hub(mqtt->port(), {"kestrix/#", "house2/#"});
    auto other = second("base_topic = \"house2\"\n");
    ASSERT_TRUE(hub.next("house2/bridge/status", 15)) << other->output();
    hub.publish("kestrix/a/3/set", "ON");
    hub.publish("house2/a/3/set", "OFF");
    ASSERT_TRUE(hub.next("kestrix/a/3/state"));
    ASSERT_TRUE(hub.next("house2/a/3/state"));
    EXPECT_TRUE(other->finish(SIGTERM).ok());
    EXPECT_EQ(said_on(hub, "kestrix/bridge/availability", "offline"), 0);  // the other one's going is its own
    EXPECT_EQ(frames_of(stop().rx), (std::vector<std::string>{"D5 AA 60 08 AD", "D5 AA 60 08 AD"}));
    EXPECT_EQ(frames_of(replay_shim_log(shim_log("second")).rx), (std::vector<std::string>{"D5 AA 60 28 AD", "D5 AA 60 28 AD"}));
}

// SIGHUP reads the file again: a broken one is said and changes nothing, a
// good one takes over without a restart.
TEST_F(Live, AReloadWithABrokenFileKeepsServingAndAGoodOneAddsTheUnit) {
    mqtt_listener hub(mqtt->port(), {"kestrix/#", "homeassistant/#"});
    folder.write("bridge.toml", "[transmitter]\nport = \"five\"\n");
    ::kill(bridge->pid(), SIGHUP);
    EXPECT_TRUE(bridge->says("bridge.toml:2:8: [transmitter] port: expected a whole number from 1 to 32767; the configuration in use stays"))
        << bridge->output();
    hub.publish("kestrix/a/1/set", "ON");
    EXPECT_TRUE(hub.next("kestrix/a/1/state"));
    pseudo_terminal line2;  // and the transmitter moved to another port
    configure("bridge.toml", line2, "client_id = \"test\"\n", "[[unit]]\naddress = \"C5\"\nname = \"Porch\"\n");
    ::kill(bridge->pid(), SIGHUP);
    const auto porch = hub.next("homeassistant/device/kestrix_kestrix_c5/config");
    ASSERT_TRUE(porch) << bridge->output();
    EXPECT_EQ(json::parse(porch->payload)["dev"]["name"], "Porch");
    // A1 left the configuration: Home Assistant is told to forget it.
    EXPECT_TRUE(hub.next("homeassistant/device/kestrix_kestrix_a1/config", 10, [](const mqtt::message& m) { return m.payload.empty(); }));
    hub.publish("kestrix/c/5/set", "ON");
    ASSERT_TRUE(hub.next("kestrix/c/5/state"));
    const recording rec = stop();
    EXPECT_EQ(frames_of(rec.rx), (std::vector<std::string>{"D5 AA 60 00 AD", "D5 AA 60 00 AD", "D5 AA 40 40 AD", "D5 AA 40 40 AD"}));
    EXPECT_EQ(rec.opened, 1);  // the first port for A1 only: C5 went out on the new one
}

// A reload to another base topic takes back what the bridge kept under the
// old one, or Home Assistant would show every unit twice.
TEST_F(Live, AReloadToAnotherBaseTopicLeavesOnlyOfflineUnderTheOld) {
    mqtt_listener hub(mqtt->port(), {"kestrix/#", "house2/#"});
    hub.publish("kestrix/a/1/level/set", "50");
    ASSERT_TRUE(hub.next("kestrix/a/1/level/state"));
    configure("bridge.toml", line, "client_id = \"test\"\nbase_topic = \"house2\"\n");
    ::kill(bridge->pid(), SIGHUP);
    ASSERT_TRUE(hub.next("house2/bridge/availability", 15, [](const mqtt::message& m) { return m.payload == "online"; }))
        << bridge->output();
    EXPECT_EQ(retained_under(mqtt->port(), "kestrix/#"), (std::vector<std::string>{"kestrix/bridge/availability offline"}));
    for (const std::string& doc : retained_under(mqtt->port(), "homeassistant/#"))
        EXPECT_EQ(doc.find("kestrix_kestrix"), std::string::npos) << doc;  // every id of the old base forgotten
    hub.publish("house2/a/1/set", "OFF");
    EXPECT_TRUE(hub.next("house2/a/1/state")) << bridge->output();
}

}  // namespace
}  // namespace kestrix::testing
