// The bridge's loop on a broker that records and a clock the test drives:
// what it does over minutes and hours, and when things fail, in
// milliseconds. The transmitter is the fake line and counter.
#include "service.h"
#include "testkit/broker.h"
#include "testkit/fakes.h"
#include "simulated_line.h"
#include "testkit/scratch.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace kestrix::bridge {
namespace {

using clock = loop_clock::clock;
using namespace std::chrono_literals;

// Time moves only when the loop has nothing to do: then it jumps to the
// loop's next timer. With patience, the loop first waits that long for
// real, for the sending thread's reports.
class fake_clock final : public loop_clock {
public:
    clock::time_point now() override { return t; }
    int wait(std::vector<pollfd>& fds, clock::time_point until) override {
        const int ready = ::poll(fds.data(), fds.size(), patience_ms);
        if (ready == 0 && until > t) t = hold ? std::min(until, *hold) : until;
        return ready;
    }
    clock::time_point t{std::chrono::hours(1000)};
    std::optional<clock::time_point> hold;  // time goes no further
    int patience_ms = 0;
};

class fake_broker final : public mqtt::broker {
public:
    struct message {
        std::string topic, payload;
        bool retained;
    };
    explicit fake_broker(fake_clock& time) : clock_(time) {}
    std::string connect() override {
        tries.push_back(clock_.t);
        if (!unreachable.empty()) return unreachable;
        on_connect(connack, connack ? "not authorised" : "");
        if (connack || taken_back) on_disconnect("the broker closed the connection");
        return "";
    }
    void disconnect() override {}
    int socket() const override { return -1; }
    bool wants_write() const override { return false; }
    std::string readable() override { return ""; }
    std::string writable() override { return ""; }
    std::string tick() override { return ""; }
    void publish(const std::string& topic, const std::string& payload, int, bool retain) override {
        published.push_back({topic, payload, retain});
    }
    void subscribe(const std::string&, int) override {}

    std::vector<message> on(const std::string& topic) const {
        std::vector<message> out;
        std::copy_if(published.begin(), published.end(), std::back_inserter(out), [&](const message& m) { return m.topic == topic; });
        return out;
    }

    std::vector<clock::time_point> tries;
    std::vector<message> published;
    std::string unreachable;  // connect() cannot even start, for this reason
    int connack = 0;          // the broker's answer to a connection
    bool taken_back = false;  // another client with our id takes the connection at once

private:
    fake_clock& clock_;
};

class Loop : public ::testing::Test {
protected:
    Loop() {
        ::setenv("XDG_STATE_HOME", (folder / "state").c_str(), 1);
        ::unsetenv("STATE_DIRECTORY");
        set_log_sink([this](level, const std::string& said) { logged.push_back(said); });
        c.mqtt.client_id = "test";
        c.mqtt.will_topic = "kestrix/bridge/availability";
        c.units = {{{'A', 1}, "Hall lamp", true}};
    }
    ~Loop() override {
        bridge.reset();
        set_log_sink({});
        ::unsetenv("XDG_STATE_HOME");
    }

    void start(const std::function<void(fake_broker&)>& before = {}, bool alone = true) {
        bridge = std::make_unique<service>(
            c, service_parts{clock,
                             [&](const mqtt::options&) {
                                 auto b = std::make_unique<fake_broker>(*clock);
                                 if (before) before(*b);
                                 mqtt = b.get();
                                 return b;
                             },
                             [this](const transmitter_config&) {
                                 return line.control ? std::move(line.control) : kestrix::testing::rig().control;
                             }});
        bridge->start();
        if (alone) run_for(peers::quiet);  // no other bridge answers: it serves
    }
    // The frames the transmitter got, as it reads them.
    std::vector<std::string> frames() const {
        std::vector<std::string> out;
        const sim::receiver rx = kestrix::testing::decode(line.log->events, line.clock->current());
        for (const auto& f : rx.frames()) out.push_back(sim::describe(f.bytes));
        return out;
    }
    // Turns the loop until its clock has moved on by `span`.
    void run_for(clock::duration span) {
        const clock::time_point end = clock->t + span;
        for (int i = 0; i < 100000 && clock->t <= end; ++i) bridge->step();
    }
    // Turns the loop until `done`, waiting for the sending thread for real
    // (five seconds at most).
    bool run_until(const std::function<bool()>& done) {
        clock->patience_ms = 100;
        const double deadline = kestrix::testing::monotonic_seconds() + 5;
        while (!done() && kestrix::testing::monotonic_seconds() < deadline) bridge->step();
        clock->patience_ms = 0;
        return done();
    }
    long count_logged(const std::string& text) const {
        return std::count_if(logged.begin(), logged.end(), [&](const std::string& l) { return l.find(text) != std::string::npos; });
    }

    kestrix::testing::scratch folder{"kestrix-loop"};
    config c;
    std::shared_ptr<fake_clock> clock = std::make_shared<fake_clock>();
    kestrix::testing::rig line;
    std::unique_ptr<service> bridge;
    fake_broker* mqtt = nullptr;
    std::vector<std::string> logged;
};

// A broker that cannot be reached, or refuses the bridge: tried again after
// 1 s, then twice as long each time up to a minute; once a connection was
// good, the next loss is tried again after 1 s.
class Backoff : public Loop, public ::testing::WithParamInterface<const char*> {};

TEST_P(Backoff, DoublesToAMinuteAndStartsAgainAfterAGoodConnection) {
    const bool refused = std::string(GetParam()) == "refused";
    start([&](fake_broker& b) { refused ? void(b.connack = 5) : void(b.unreachable = "Connection refused"); });
    run_for(300s);
    std::vector<long> waits;
    for (std::size_t i = 1; i < mqtt->tries.size(); ++i)
        waits.push_back(std::chrono::duration_cast<std::chrono::seconds>(mqtt->tries[i] - mqtt->tries[i - 1]).count());
    waits.resize(std::min<std::size_t>(waits.size(), 9));
    EXPECT_EQ(waits, (std::vector<long>{1, 2, 4, 8, 16, 32, 60, 60, 60}));
    EXPECT_EQ(count_logged("trying again in"), 1);  // said once, not at every try

    mqtt->connack = 0;
    mqtt->unreachable.clear();
    run_for(61s);
    const clock::time_point lost = clock->t;
    mqtt->on_disconnect("connection lost");
    run_for(1s);
    EXPECT_EQ(mqtt->tries.back() - lost, 1s);
}

INSTANTIATE_TEST_SUITE_P(Brokers, Backoff, ::testing::Values("unreachable", "refused"),
                         [](const auto& row) { return std::string(row.param); });

// systemd restarts a service that stays silent past WATCHDOG_USEC.
TEST_F(Loop, TellsTheWatchdogTwiceInEachOfItsPeriods) {
    const int listener = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string path = folder / "notify";
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::setenv("NOTIFY_SOCKET", path.c_str(), 1);
    ::setenv("WATCHDOG_USEC", "20000000", 1);  // 20 s
    ::setenv("WATCHDOG_PID", std::to_string(::getpid()).c_str(), 1);
    start();
    run_for(60s);
    for (const char* name : {"NOTIFY_SOCKET", "WATCHDOG_USEC", "WATCHDOG_PID"}) ::unsetenv(name);
    int ready = 0, watchdog = 0;
    char datagram[256];
    for (ssize_t n; (n = ::recv(listener, datagram, sizeof datagram, 0)) > 0;) {
        const std::string said(datagram, static_cast<std::size_t>(n));
        ready += said.find("READY=1") != std::string::npos;
        watchdog += said == "WATCHDOG=1";
    }
    ::close(listener);
    EXPECT_EQ(ready, 1);
    EXPECT_EQ(watchdog, 7);  // at 0, 10, 20 ... 60 s
}

TEST_F(Loop, HomeAssistantComingBackGetsDiscoveryAndStatesOnceAFewSecondsLater) {
    start();
    const std::string lamp = "homeassistant/device/kestrix_kestrix_a1/config";
    ASSERT_EQ(mqtt->on(lamp).size(), 1u);
    mqtt->on_message({"homeassistant/status", "online", false});
    run_for(999ms);
    EXPECT_EQ(mqtt->on(lamp).size(), 1u);
    run_for(5s);
    EXPECT_EQ(mqtt->on(lamp).size(), 2u);
    run_for(10min);
    EXPECT_EQ(mqtt->on(lamp).size(), 2u);
    EXPECT_TRUE(mqtt->on(lamp).back().retained);
}

TEST_F(Loop, BadInputIsLoggedTwentyTimesAMinuteThenCountedAndTheLimitOpensAgain) {
    start();
    for (int i = 0; i < 25; ++i) mqtt->on_message({"kestrix/a/1/set", "toggle", false});
    EXPECT_EQ(count_logged("ignored a message on kestrix/a/1/set"), 20);
    run_for(30s);  // still that minute
    mqtt->on_message({"kestrix/a/1/set", "toggle", false});
    EXPECT_EQ(count_logged("ignored a message on kestrix/a/1/set"), 20);
    run_for(31s);
    mqtt->on_message({"kestrix/a/1/set", "toggle", false});
    EXPECT_EQ(count_logged("6 more bad messages in that minute were not logged"), 1);
    EXPECT_EQ(count_logged("ignored a message on kestrix/a/1/set"), 21);
}

// The lamps' states, assumed (X10 sends nothing back): learnt back from
// the broker at start, and after each command what its frames left.
TEST_F(Loop, AStateLearntFromTheBrokerIsPublishedAgainAfterAReconnect) {
    start();
    mqtt->on_message({"kestrix/a/1/state", "ON", true});
    mqtt->published.clear();
    mqtt->on_disconnect("connection lost");
    run_for(2s);
    ASSERT_EQ(mqtt->on("kestrix/a/1/state").size(), 1u);
    EXPECT_EQ(mqtt->on("kestrix/a/1/state")[0].payload, "ON");
    EXPECT_EQ(mqtt->on("kestrix/bridge/availability").at(0).payload, "online");
}

struct state_case {
    const char* topic;
    const char* payload;
    const char* state;  // what the state topic says after the frames went out
};

std::ostream& operator<<(std::ostream& os, const state_case& c) { return os << c.topic << " " << c.payload; }

class StateAfter : public Loop, public ::testing::WithParamInterface<state_case> {};

TEST_P(StateAfter, TheFramesWentOut) {
    start();
    mqtt->on_message({"kestrix/a/4/set", "OFF", false});
    ASSERT_TRUE(run_until([&] { return !mqtt->on("kestrix/a/4/state").empty(); }));
    mqtt->on_message({GetParam().topic, GetParam().payload, false});
    ASSERT_TRUE(run_until([&] { return mqtt->on("kestrix/a/4/state").size() == 2; }));
    EXPECT_EQ(mqtt->on("kestrix/a/4/state")[1].payload, GetParam().state);
    EXPECT_TRUE(mqtt->on("kestrix/a/4/state")[1].retained);
}

// A DIM or BRIGHT addresses its unit with an ON frame first: the lamp is on.
INSTANTIATE_TEST_SUITE_P(Commands, StateAfter,
                         ::testing::Values(state_case{"kestrix/a/4/dim", "", "ON"}, state_case{"kestrix/a/4/bright", "50", "ON"},
                                           state_case{"kestrix/a/4/set", "ON", "ON"}, state_case{"kestrix/a/4/set", "OFF", "OFF"}),
                         [](const auto& row) {
                             const std::string topic = row.param.topic;
                             return topic.substr(topic.rfind('/') + 1) + "_" + (*row.param.payload ? row.param.payload : "empty");
                         });

// A command that could not go out leaves the lamp as it was assumed: no
// state, and the status and the log say why.
TEST_F(Loop, AFailedCommandPublishesNoState) {
    line.log->fail_open_with = errc::port_not_found;
    start();
    mqtt->on_message({"kestrix/a/4/set", "ON", false});
    ASSERT_TRUE(run_until([&] { return count_logged("A4 ON was not sent: error 8003") == 1; }));
    run_for(1s);
    EXPECT_TRUE(mqtt->on("kestrix/a/4/state").empty());
    EXPECT_NE(mqtt->on("kestrix/bridge/status").back().payload.find("\"state\":\"failed\""), std::string::npos);
}

// A mochad client: a socket on the text port.
int text_client(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    return fd;
}

// Every client hears each command; the one that asks hears at once what
// its command will leave, before the frames went out (here another
// program holds the port), and an answer to every line, past the queue's
// bound too: a mochad client waits for one.
TEST_F(Loop, EveryConnectedTextClientHearsEachCommand) {
    c.mochad.host = "127.0.0.1";
    c.mochad.port = kestrix::testing::free_port();
    line.log->fail_open_with = errc::port_in_use;
    start();
    const int clients[] = {text_client(c.mochad.port), text_client(c.mochad.port)};
    std::string said = "rf a1 on\ngetstatus a1\n";
    for (int i = 0; i < 300; ++i) said += "rf a1 dim\n";
    ASSERT_EQ(::send(clients[0], said.data(), said.size(), MSG_NOSIGNAL), static_cast<ssize_t>(said.size()));
    std::string heard[2];
    EXPECT_TRUE(run_until([&] {
        for (int i : {0, 1}) {
            char buf[4096];
            for (ssize_t n; (n = ::recv(clients[i], buf, sizeof buf, MSG_DONTWAIT)) > 0;) heard[i].append(buf, static_cast<std::size_t>(n));
        }
        return std::count(heard[0].begin(), heard[0].end(), '\n') == 302 && heard[1].find('\n') != std::string::npos;
    })) << std::count(heard[0].begin(), heard[0].end(), '\n');
    EXPECT_NE(heard[0].find("\non\n"), std::string::npos);
    EXPECT_NE(heard[0].find("\nerror: the queue is full\n"), std::string::npos);
    for (int i : {0, 1}) {
        EXPECT_NE(heard[i].find(" Tx RF HouseUnit: A1 Func: On\n"), std::string::npos) << i << ": " << heard[i];
        ::close(clients[i]);
    }
}

// A burst of commands is no burst of status messages.
TEST_F(Loop, TheStatusGoesOutWhenItChangesAtMostFourTimesASecond) {
    start();
    mqtt->published.clear();
    for (int i = 0; i < 20; ++i) mqtt->on_message({"kestrix/" + std::string(1, static_cast<char>('b' + i / 16)) + "/" + std::to_string(i % 16 + 1) + "/set", "ON", false});
    EXPECT_EQ(mqtt->on("kestrix/bridge/status").size(), 1u);
    // However slowly the sending thread goes, the loop's time stands still
    // meanwhile: a busy machine must not let more quarter seconds pass.
    clock->hold = clock->t;
    run_until([&] { return mqtt->on("kestrix/c/4/state").size() == 1; });
    clock->hold.reset();
    run_for(1s);
    const auto statuses = mqtt->on("kestrix/bridge/status");
    EXPECT_LE(statuses.size(), 6u);
    EXPECT_NE(statuses.back().payload.find("\"queue\":0"), std::string::npos) << statuses.back().payload;
    EXPECT_NE(statuses.back().payload.find("\"sent\":20"), std::string::npos) << statuses.back().payload;
}

// While another program holds the port, the queue fills; in the first
// moment, before it serves, what is held fills likewise. What either turns
// away is counted, and logged within the limit for bad input.
class Refused : public Loop, public ::testing::WithParamInterface<bool> {};

TEST_P(Refused, CommandsAreCountedAndLoggedWithinTheLimit) {
    const bool first_moment = GetParam();
    line.log->fail_open_with = errc::port_in_use;
    start({}, !first_moment);
    for (int i = 0; i < 300; ++i) mqtt->on_message({"kestrix/a/1/dim", "", false});  // steps are never merged
    const std::string said = first_moment ? "refused: 256 commands are held already" : "refused: 256 commands are waiting already";
    EXPECT_GE(count_logged(said), 1);
    EXPECT_LE(count_logged(said), 20);
    if (first_moment) {
        run_for(peers::quiet);
        EXPECT_NE(mqtt->on("kestrix/bridge/status").back().payload.find("\"refused\":44"), std::string::npos)
            << mqtt->on("kestrix/bridge/status").back().payload;
    }
    run_for(61s);
    mqtt->on_message({"kestrix/a/1/set", "toggle", false});
    EXPECT_EQ(count_logged("more bad messages in that minute were not logged"), 1);
    EXPECT_EQ(bridge->finish(), 0);
}

INSTANTIATE_TEST_SUITE_P(Queues, Refused, ::testing::Bool(),
                         [](const auto& row) { return std::string(row.param ? "held_in_the_first_moment" : "waiting"); });

// Two clients with one id throw each other off the broker: the newcomer
// stops (and is not restarted by systemd), the one that serves serves on
// and says so. Over MQTT 5 the broker says it; with an older one, a
// connection lost within seconds of being made, three times in a row.
struct shared_id_case {
    const char* name;
    bool serving;                 // it served before the other came
    clock::duration lasts;        // how long each connection lasts
    const char* why;              // why each one ends
    int times;
    const char* said;             // logged once; nullptr: nothing
    bool stops;
};

std::ostream& operator<<(std::ostream& os, const shared_id_case& c) { return os << c.name; }

class SharedClientId : public Loop, public ::testing::WithParamInterface<shared_id_case> {};

TEST_P(SharedClientId, StopsTheNewcomerOnly) {
    const shared_id_case& row = GetParam();
    start({}, row.serving);
    bool running = true;
    for (int i = 0; i < row.times && running; ++i) {
        clock->t += row.lasts;  // the loop sees no time pass: a newcomer is still listening
        mqtt->on_disconnect(row.why);
        const std::size_t tries = mqtt->tries.size();
        clock->hold = clock->t + 1s;  // when it tries again
        while (running && mqtt->tries.size() == tries) running = bridge->step();
        clock->hold.reset();
    }
    EXPECT_EQ(!running, row.stops);
    EXPECT_EQ(count_logged("client id 'test'"), row.said ? 1 : 0);
    EXPECT_EQ(count_logged(row.said ? row.said : "client id 'test'"), row.said ? 1 : 0);
    for (const auto& m : mqtt->on("kestrix/bridge/availability")) EXPECT_EQ(m.payload, "online");  // never offline
    EXPECT_EQ(bridge->finish(), row.stops ? 2 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Connections, SharedClientId,
    ::testing::Values(
        shared_id_case{"newcomer_taken_over", false, 500ms, mqtt::taken_over, 1, "this one stops", true},
        shared_id_case{"newcomer_thrown_off", false, 1500ms, "connection lost", 3, "three times in a row", true},
        shared_id_case{"serving_taken_over", true, 1s, mqtt::taken_over, 3, "this bridge serves on", false},
        shared_id_case{"serving_thrown_off", true, 4s, "connection lost", 4, "this bridge serves on", false},
        shared_id_case{"serving_connections_that_last", true, 6s, "connection lost", 4, nullptr, false}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(Loop, TheThirtyThirdTextClientIsToldWhyBeforeItIsLetGo) {
    c.mochad.host = "127.0.0.1";
    c.mochad.port = kestrix::testing::free_port();
    start();
    std::vector<int> clients;
    for (int i = 0; i < 33; ++i) {
        clients.push_back(text_client(c.mochad.port));
        bridge->step();  // takes it before the next comes
    }
    std::string told;
    run_until([&] {
        char buf[128];
        for (ssize_t n; (n = ::recv(clients.back(), buf, sizeof buf, MSG_DONTWAIT)) > 0;) told.append(buf, static_cast<std::size_t>(n));
        return told.find('\n') != std::string::npos;
    });
    EXPECT_EQ(told, "error: 32 clients are connected already\n");
    for (int fd : clients) ::close(fd);
}

// A module that hears badly gets its ON and OFF again, never its steps.
TEST_F(Loop, ARepeatedUnitGetsEachOnAndOffAgainButEachStepOnce) {
    c.units = {{{'A', 1}, "Hall lamp", true, 2}};
    start();
    mqtt->on_message({"kestrix/a/1/set", "ON", false});
    mqtt->on_message({"kestrix/a/1/dim", "25", false});
    ASSERT_TRUE(run_until([&] { return mqtt->on("kestrix/a/1/state").size() == 2; }));
    const std::string on = "house A unit 1 ON", dim = "house A DIM";
    EXPECT_EQ(frames(), (std::vector<std::string>{on, on, on, on, on, on, on, on, dim, dim, dim, dim}));
}

// What comes over MQTT while it listens for another bridge is held under
// the queue's rules (the latest ON or OFF wins): sent once it serves, left
// to the other bridge that serves, never sent late after the broker was lost.
enum class then { serves, broker_lost, another_serves };

struct held_case {
    const char* name;
    then what;
    std::vector<std::string> frames;
    const char* said;  // logged; nullptr: nothing about held commands
};

std::ostream& operator<<(std::ostream& os, const held_case& c) { return os << c.name; }

class Held : public Loop, public ::testing::WithParamInterface<held_case> {};

TEST_P(Held, CommandsOfTheFirstMoment) {
    const held_case& row = GetParam();
    start({}, false);
    for (int i = 0; i < 300; ++i) mqtt->on_message({"kestrix/a/1/set", "ON", false});
    mqtt->on_message({"kestrix/a/1/set", "OFF", false});
    mqtt->on_message({"kestrix/a/2/set", "ON", false});
    EXPECT_TRUE(frames().empty());
    if (row.what == then::broker_lost) mqtt->on_disconnect("connection lost");
    if (row.what == then::another_serves)
        mqtt->on_message({"kestrix/bridge/hello", R"({"client_id":"other","host":"h","serving":true,"since":0,"nonce":1})", false});
    run_for(peers::quiet + 30s);  // connected again, and serving, where it can
    if (row.what != then::another_serves) {
        // A command after them: whatever was held went out before it.
        mqtt->on_message({"kestrix/a/3/set", "ON", false});
        EXPECT_TRUE(run_until([&] { return !mqtt->on("kestrix/a/3/state").empty(); }));
    }
    bridge->finish();
    EXPECT_EQ(frames(), row.frames);
    EXPECT_EQ(count_logged(row.said ? row.said : "commands that came over MQTT"), row.said ? 1 : 0);
}

const std::string a1_off = "house A unit 1 OFF", a2_on = "house A unit 2 ON", a3_on = "house A unit 3 ON";

INSTANTIATE_TEST_SUITE_P(
    Then, Held,
    ::testing::Values(held_case{"it_serves", then::serves, {a1_off, a1_off, a2_on, a2_on, a3_on, a3_on}, nullptr},
                      held_case{"the_broker_is_lost", then::broker_lost, {a3_on, a3_on}, "2 commands that came over MQTT while this bridge "
                                                                             "listened for another were not sent: the broker was lost"},
                      held_case{"another_bridge_serves", then::another_serves, {}, "2 commands that came over MQTT while this "
                                                                                   "bridge listened for another are left to the other"}),
    [](const auto& row) { return std::string(row.param.name); });

// The text port's commands go out whatever the broker does: none there, or
// the bridge still listening for another bridge on it.
class TextPortAlone : public Loop, public ::testing::WithParamInterface<bool> {};

TEST_P(TextPortAlone, SendsAtOnce) {
    c.mochad.host = "127.0.0.1";
    c.mochad.port = kestrix::testing::free_port();
    const bool no_broker = GetParam();
    start([&](fake_broker& b) { if (no_broker) b.unreachable = "Connection refused"; }, false);
    const int client = text_client(c.mochad.port);
    ASSERT_EQ(::send(client, "rf a1 on\n", 9, MSG_NOSIGNAL), 9);
    EXPECT_TRUE(run_until([&] { return frames().size() == 2; }));
    EXPECT_EQ(frames(), (std::vector<std::string>{"house A unit 1 ON", "house A unit 1 ON"}));
    ::close(client);
}

INSTANTIATE_TEST_SUITE_P(Brokers, TextPortAlone, ::testing::Bool(),
                         [](const auto& row) { return std::string(row.param ? "no_broker" : "first_moment"); });

// SIGHUP: a reload is carried out whole or not at all.
TEST_F(Loop, AReloadThatCannotListenKeepsTheTextPortAndTheNextTriesAgain) {
    const int first = kestrix::testing::free_port(), second = kestrix::testing::free_port();
    const auto configure = [&](const std::string& device, const std::string& listen) {
        return folder.write("bridge.toml", "[transmitter]\ndevice = \"" + device + "\"\n[mqtt]\nclient_id = \"test\"\n"
                                           "[mochad]\nlisten = \"" + listen + "\"\n");
    };
    c = load_config(configure("/dev/kestrix-one", "127.0.0.1:" + std::to_string(first)));
    start();
    const auto reload = [&](const std::string& device, const std::string& listen) {
        configure(device, listen);
        ::raise(SIGHUP);
        run_for(1s);
    };
    const auto answers = [&](int port) {
        const int fd = text_client(port);
        std::string heard;
        ::send(fd, "getstatus a1\n", 13, MSG_NOSIGNAL);
        run_until([&] {
            char buf[64];
            const ssize_t n = ::recv(fd, buf, sizeof buf, MSG_DONTWAIT);
            if (n > 0) heard.append(buf, static_cast<std::size_t>(n));
            return n == 0 || (n < 0 && errno != EAGAIN) || heard.find('\n') != std::string::npos;
        });
        ::close(fd);
        return heard == "off\n";
    };
    for (int i = 0; i < 2; ++i) reload("/dev/kestrix-two", "192.0.2.7:1099");  // not this machine's
    EXPECT_EQ(count_logged(folder / "bridge.toml:6:10: [mochad] listen: the text port cannot listen on 192.0.2.7:1099"), 2);
    EXPECT_EQ(count_logged("the configuration in use stays"), 2);
    EXPECT_TRUE(answers(first));
    EXPECT_EQ(mqtt->on("kestrix/bridge/status").back().payload.find("kestrix-two"), std::string::npos);
    reload("/dev/kestrix-two", "127.0.0.1:" + std::to_string(second));
    EXPECT_TRUE(answers(second));
    EXPECT_FALSE(answers(first));
    EXPECT_NE(mqtt->on("kestrix/bridge/status").back().payload.find("\"device\":\"/dev/kestrix-two\""), std::string::npos);
}

// Each unit's module: a level planned on its own steps and said back on
// them; a soft-start one, switched back on, resumes its last level, also
// when a reload made it one.
TEST_F(Loop, LevelsArePlannedForEachUnitsModule) {
    const auto configure = [&](const char* a2) {
        return folder.write("bridge.toml", std::string("[transmitter]\ndevice = \"/dev/kestrix-one\"\n[mqtt]\nclient_id = \"test\"\n"
                                                       "[[unit]]\naddress = \"A1\"\ndim_steps = 16\n[[unit]]\naddress = \"A3\"\n"
                                                       "[[unit]]\naddress = \"A4\"\ndim_steps = 16\n[[unit]]\naddress = \"A2\"\n") + a2);
    };
    c = load_config(configure(""));
    start();
    // The frames so far, once unit `states_of`'s state was published `states` times after a message.
    const auto sent = [&](const std::string& topic, const std::string& payload, std::size_t states, const char* states_of = nullptr) {
        mqtt->on_message({topic, payload, false});
        const std::string state = states_of ? states_of : topic.substr(0, topic.find('/', 10)) + "/state";
        EXPECT_TRUE(run_until([&] { return mqtt->on(state).size() == states; })) << topic << " " << payload;
        return frames().size() / 2;
    };
    // What a run before left on the broker, on A4's own steps: 50 % is 8 of 16.
    mqtt->on_message({"kestrix/a/4/state", "ON", true});
    mqtt->on_message({"kestrix/a/4/level/state", "50", true});
    EXPECT_EQ(sent("kestrix/a/4/level/set", "30", 1), 4u);  // ON and 3 DIM frames
    EXPECT_EQ(sent("kestrix/a/1/level/set", "30", 1), 4u + 12);  // from off: ON and 11 DIM frames
    EXPECT_EQ(frames().at(5 * 2), "house A DIM");
    EXPECT_EQ(mqtt->on("kestrix/a/1/level/state").back().payload, "31");
    EXPECT_EQ(sent("kestrix/a/2/level/set", "40", 1), 16u + 6);  // ON and 5 DIM: 3 steps of 8
    EXPECT_EQ(sent("kestrix/a/2/set", "OFF", 2), 16u + 6 + 1);
    configure("on_level = \"last\"\n");
    ::raise(SIGHUP);
    run_for(1s);
    EXPECT_EQ(sent("kestrix/a/2/level/set", "40", 3), 16u + 6 + 1 + 1);  // ON alone: back at 3 steps
    EXPECT_EQ(frames().back(), "house A unit 2 ON");
    EXPECT_EQ(mqtt->on("kestrix/a/2/level/state").back().payload, "38");
    // Sent again as assumed, after a power cut: A1 and A4 down from full, A2
    // back at its last level, A3 (never switched, nothing assumed) not at all.
    EXPECT_EQ(sent("kestrix/a/all/resend", "", 4, "kestrix/a/2/state"), 16u + 6 + 1 + 1 + 12 + 12 + 1);
    EXPECT_EQ(mqtt->on("kestrix/a/1/level/state").back().payload, "31");
}

}  // namespace
}  // namespace kestrix::bridge
