// One bridge to a base topic: what a bridge makes of the greetings it
// hears, pure, on a clock the test holds.
#include "peers.h"

#include <gtest/gtest.h>

#include <string>

namespace kestrix::bridge {
namespace {

using namespace std::chrono_literals;
const peers::clock::time_point t0{std::chrono::hours(1000)};

// A greeting as another bridge says it.
std::string hello(const std::string& id, bool serving, long long since, std::uint64_t nonce = 7) {
    return R"({"client_id":")" + id + R"(","host":"pi","serving":)" + (serving ? "true" : "false") + R"(,"since":)" +
           std::to_string(since) + R"(,"nonce":)" + std::to_string(nonce) + "}";
}

TEST(Peers, ServesOnceTheQuietMomentPassesUnanswered) {
    peers us("test", "here", 1);
    us.connected(t0);
    EXPECT_FALSE(us.begin(t0 + peers::quiet - 1ms));
    EXPECT_EQ(us.starts_at(), t0 + peers::quiet);
    EXPECT_TRUE(us.begin(t0 + peers::quiet));
    EXPECT_TRUE(us.serving());
    EXPECT_FALSE(us.begin(t0 + 1h));  // true once, just then
    us.connected(t0 + 1h);            // a reconnection: no waiting again
    EXPECT_TRUE(us.serving());
    EXPECT_FALSE(us.starts_at());
}

struct greeting_case {
    const char* name;
    bool we_serve;
    std::string payload;
    bool retained;
    bool answer, step_down;
    bool named;  // the verdict names the other
};

std::ostream& operator<<(std::ostream& os, const greeting_case& c) { return os << c.name; }

class Greeting : public ::testing::TestWithParam<greeting_case> {};

TEST_P(Greeting, IsAnsweredOrStopsThisBridge) {
    const greeting_case& c = GetParam();
    peers us("test", "here", 1);
    us.connected(t0);
    EXPECT_EQ(c.we_serve && us.begin(t0 + peers::quiet), c.we_serve);
    const peers::verdict v = us.heard(c.payload, c.retained);
    EXPECT_EQ(v.answer, c.answer);
    EXPECT_EQ(v.step_down, c.step_down);
    EXPECT_EQ(v.other, c.named ? "client id 'other' on host 'pi'" : "");
}

constexpr long long long_ago = 0, far_ahead = 1LL << 50;  // wall-clock milliseconds

INSTANTIATE_TEST_SUITE_P(
    Greetings, Greeting,
    ::testing::Values(
        greeting_case{"one_that_serves_while_we_wait", false, hello("other", true, far_ahead), false, false, true, true},
        greeting_case{"one_that_waits_and_started_later", false, hello("other", false, far_ahead), false, true, false, true},
        greeting_case{"one_that_waits_and_started_first", false, hello("other", false, long_ago), false, false, true, true},
        greeting_case{"one_that_waits_while_we_serve", true, hello("other", false, long_ago), false, true, false, true},
        // Two that meet while both serve (after a network split): the one that began first stays.
        greeting_case{"both_serve_it_began_first", true, hello("other", true, long_ago), false, false, true, true},
        greeting_case{"both_serve_we_began_first", true, hello("other", true, far_ahead), false, true, false, true},
        // What the broker kept may be of a bridge long gone: it counts only if it answers.
        greeting_case{"kept_of_one_that_served", false, hello("other", true, long_ago), true, false, false, false},
        greeting_case{"our_own_back_from_the_broker", false, hello("other", true, long_ago, 1), false, false, false, false},
        greeting_case{"not_a_greeting", false, "online", false, false, false, false},
        greeting_case{"a_greeting_without_its_nonce", false, R"({"client_id":"other","host":"pi","serving":true,"since":0})", false,
                      false, false, false}),
    [](const auto& row) { return std::string(row.param.name); });

// Two bridges that start together and hear each other: exactly one stays,
// whichever way the tie falls.
TEST(Peers, OfTwoThatMeetExactlyOneStays) {
    for (const bool serving : {false, true}) {
        peers a("a", "pi", 11), b("b", "pi", 12);
        a.connected(t0), b.connected(t0);
        if (serving) a.begin(t0 + peers::quiet), b.begin(t0 + peers::quiet);
        const bool a_stops = a.heard(b.hello(), false).step_down, b_stops = b.heard(a.hello(), false).step_down;
        EXPECT_NE(a_stops, b_stops) << (serving ? "serving" : "waiting");
    }
}

// The broker keeps the greeting of one that served with our client id; if
// the connection is then taken from us while we wait, that one is back.
TEST(Peers, AKeptGreetingWithOurIdStopsUsWhenTheConnectionIsTakenBack) {
    peers us("test", "here", 1);
    us.connected(t0);
    EXPECT_FALSE(us.heard(hello("test", true, long_ago), true).step_down);
    const peers::verdict v = us.lost();
    EXPECT_TRUE(v.step_down);
    EXPECT_EQ(v.other, "client id 'test' on host 'pi'");
    us.connected(t0 + 1s);  // connected again: forgotten until the broker says it again
    EXPECT_FALSE(us.lost().step_down);

    peers serving("test", "here", 1);
    serving.connected(t0);
    serving.begin(t0 + peers::quiet);
    serving.heard(hello("test", true, long_ago), true);
    EXPECT_FALSE(serving.lost().step_down);  // one that serves keeps serving
}

}  // namespace
}  // namespace kestrix::bridge
