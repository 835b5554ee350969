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
        if (ready == 0 && until > t) t = until;
        return ready;
    }
    clock::time_point t{std::chrono::hours(1000)};
    int patience_ms = 0;
};

class fake_broker final : public broker {
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
                             [&](const mqtt_options&) {
                                 auto b = std::make_unique<fake_broker>(*clock);
                                 if (before) before(*b);
                                 mqtt = b.get();
                                 return b;
                             },
                             [this](const transmitter_config&) { return std::move(line.control); }});
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
    run_for(61s);
    mqtt->on_message({"kestrix/a/1/set", "toggle", false});
    EXPECT_EQ(count_logged("5 more bad messages in that minute were not logged"), 1);
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
// program holds the port).
TEST_F(Loop, EveryConnectedTextClientHearsEachCommand) {
    c.mochad.host = "127.0.0.1";
    c.mochad.port = kestrix::testing::free_port();
    line.log->fail_open_with = errc::port_in_use;
    start();
    const int clients[] = {text_client(c.mochad.port), text_client(c.mochad.port)};
    const std::string said = "rf a1 on\ngetstatus a1\n";
    ASSERT_EQ(::send(clients[0], said.data(), said.size(), MSG_NOSIGNAL), static_cast<ssize_t>(said.size()));
    std::string heard[2];
    EXPECT_TRUE(run_until([&] {
        for (int i : {0, 1}) {
            char buf[256];
            const ssize_t n = ::recv(clients[i], buf, sizeof buf, MSG_DONTWAIT);
            if (n > 0) heard[i].append(buf, static_cast<std::size_t>(n));
        }
        return heard[0].find("\non\n") != std::string::npos && heard[1].find('\n') != std::string::npos;
    })) << heard[0];
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
    run_until([&] { return mqtt->on("kestrix/c/4/state").size() == 1; });
    run_for(1s);
    const auto statuses = mqtt->on("kestrix/bridge/status");
    EXPECT_LE(statuses.size(), 6u);
    EXPECT_NE(statuses.back().payload.find("\"queue\":0"), std::string::npos) << statuses.back().payload;
    EXPECT_NE(statuses.back().payload.find("\"sent\":20"), std::string::npos) << statuses.back().payload;
}

// While another program holds the port, the queue fills: what it turns
// away is counted, and logged within the limit for bad input.
TEST_F(Loop, ARefusedCommandIsCountedAndLoggedWithinTheLimit) {
    line.log->fail_open_with = errc::port_in_use;
    start();
    for (int i = 0; i < 300; ++i) mqtt->on_message({"kestrix/a/1/dim", "", false});
    EXPECT_GE(count_logged("refused: 256 commands are waiting already"), 1);
    EXPECT_LE(count_logged("refused: 256 commands are waiting already"), 20);
    run_for(61s);
    mqtt->on_message({"kestrix/a/1/dim", "", false});
    EXPECT_EQ(count_logged("more bad messages in that minute were not logged"), 1);
    EXPECT_EQ(bridge->finish(), 0);
}

// Two clients with one id throw each other off the broker, for ever: said,
// and this one stops (and is not restarted by systemd).
TEST_F(Loop, AConnectionLostRightAfterItWasMadeThreeTimesStopsTheBridge) {
    start();
    mqtt->taken_back = true;
    mqtt->on_disconnect("connection lost");
    for (int i = 0; i < 20 && bridge->step(); ++i) {
    }
    EXPECT_FALSE(bridge->step());
    EXPECT_EQ(count_logged("another client uses the client id 'test'"), 1);
    EXPECT_EQ(bridge->finish(), 2);
    EXPECT_TRUE(mqtt->on("kestrix/bridge/availability").back().payload == "online");  // nothing said for the other
}

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

// What comes while it listens for another bridge is kept, and goes out
// once it serves.
TEST_F(Loop, ACommandInTheFirstMomentGoesOutOnceItServes) {
    start({}, false);
    mqtt->on_message({"kestrix/a/2/set", "ON", false});
    EXPECT_TRUE(frames().empty());
    run_for(peers::quiet);
    ASSERT_TRUE(run_until([&] { return !mqtt->on("kestrix/a/2/state").empty(); }));
    EXPECT_EQ(frames(), (std::vector<std::string>{"house A unit 2 ON", "house A unit 2 ON"}));
}

}  // namespace
}  // namespace kestrix::bridge
