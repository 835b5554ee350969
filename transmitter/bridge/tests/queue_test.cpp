// The queue and the port taken in turns, on the fake line and counter.
#include "command_queue.h"
#include "testkit/fakes.h"

#include <gtest/gtest.h>

#include <sstream>

namespace kestrix::bridge {
namespace {

// "A1 ON", "A3 DIM 32%": a command as it writes itself.
command parse(const std::string& text) {
    std::istringstream words(text);
    std::string to, what, percent;
    words >> to >> what >> percent;
    return {*x10::parse_address(to), *x10::parse_action(what), percent.empty() ? 0 : *x10::parse_percent(percent)};
}

struct merge_case {
    const char* name;
    std::vector<std::string> pushed;  // in order
    std::vector<std::string> waiting;
};

std::ostream& operator<<(std::ostream& os, const merge_case& c) { return os << c.name; }

class Merging : public ::testing::TestWithParam<merge_case> {};

TEST_P(Merging, LeavesTheLatestOnOrOffAndNeverMovesADim) {
    command_queue queue;
    for (const std::string& line : GetParam().pushed) queue.push(parse(line), steady::now());
    std::vector<std::string> waiting;
    while (auto p = queue.take()) waiting.push_back(p->cmd.text());
    EXPECT_EQ(waiting, GetParam().waiting);
}

std::vector<std::string> toggles(int n) {
    std::vector<std::string> out;
    for (int i = 0; i < n; ++i) out.push_back(i % 2 ? "A1 OFF" : "A1 ON");
    return out;
}

INSTANTIATE_TEST_SUITE_P(
    Bursts, Merging,
    ::testing::Values(merge_case{"twenty_toggles", toggles(20), {"A1 OFF"}},
                      merge_case{"in_place", {"A1 ON", "A2 ON", "A1 OFF"}, {"A1 OFF", "A2 ON"}},
                      merge_case{"dim_of_the_house_between", {"A1 ON", "A3 DIM 32%", "A1 OFF"},
                                 {"A1 ON", "A3 DIM 32%", "A1 OFF"}},
                      merge_case{"dim_of_another_house_between", {"A1 ON", "B3 DIM 32%", "A1 OFF"},
                                 {"A1 OFF", "B3 DIM 32%"}},
                      merge_case{"dims_stay_apart", {"A1 DIM 32%", "A1 DIM 32%"}, {"A1 DIM 32%", "A1 DIM 32%"}}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(Queue, AFullQueueRefusesTheNewCommandButStillMerges) {
    command_queue queue(2);
    EXPECT_EQ(queue.push(parse("A1 ON"), steady::now()), command_queue::added::queued);
    EXPECT_EQ(queue.push(parse("A2 ON"), steady::now()), command_queue::added::queued);
    EXPECT_EQ(queue.push(parse("A3 ON"), steady::now()), command_queue::added::full);
    EXPECT_EQ(queue.push(parse("A2 OFF"), steady::now()), command_queue::added::merged);
    EXPECT_EQ(queue.take()->cmd.text(), "A1 ON");
    EXPECT_EQ(queue.take()->cmd.text(), "A2 OFF");
}

// A session on the recording line, with a clock that only the pauses move.
class Session : public ::testing::Test {
protected:
    steady::time_point now = steady::now();
    std::vector<report> reports;
    int pauses = 0;
    int free_after = -1;  // pauses before the other program lets go; -1: never
    int opened = 0;
    kestrix::testing::rig r;
    transmitter_session session{*r.control, 5, std::chrono::seconds(10),
                                {[this] { return now; },
                                 [this](steady::duration d) {
                                     now += d;
                                     if (++pauses == free_after) r.log->fail_open_with = 0;
                                     return true;
                                 },
                                 [this] { ++opened; }},
                                [this](const report& rep) { reports.push_back(rep); }};

    std::string kinds() const {
        std::string s;
        for (const report& rep : reports) s += rep.what == report::kind::busy ? 'b' : rep.what == report::kind::sent ? 's' : 'f';
        return s;
    }
    std::vector<std::string> frames() const {
        return kestrix::testing::frames_of(kestrix::testing::decode(r.log->events, r.clock->current()));
    }
};

TEST_F(Session, AHeldPortIsWaitedForThenTheCommandGoesOut) {
    r.log->fail_open_with = errc::port_in_use;
    free_after = 3;
    session.send({parse("A1 ON"), now});
    EXPECT_EQ(kinds(), "bs");  // busy said once
    EXPECT_EQ(frames(), (std::vector<std::string>{"D5 AA 60 00 AD", "D5 AA 60 00 AD"}));
}

TEST_F(Session, APortHeldPastTheWaitFailsTheCommandWithItsNumber) {
    r.log->fail_open_with = errc::port_in_use;
    const steady::time_point arrived = now;
    session.send({parse("A1 ON"), arrived});
    ASSERT_EQ(kinds(), "bf");
    EXPECT_EQ(reports[1].error, errc::port_in_use);
    EXPECT_GE(now - arrived, std::chrono::seconds(10));
    EXPECT_LT(now - arrived, std::chrono::seconds(11));
}

TEST_F(Session, AMissingPortFailsAtOnceAndTheNextCommandTriesAgain) {
    r.log->fail_open_with = errc::port_not_found;
    session.send({parse("A1 ON"), now});
    EXPECT_EQ(kinds(), "f");
    EXPECT_EQ(pauses, 0);
    r.log->fail_open_with = 0;  // plugged in
    session.send({parse("A1 OFF"), now});
    EXPECT_EQ(kinds(), "fs");
}

TEST_F(Session, ThePortIsKeptForABurstAndClosedBetweenBursts) {
    session.send({parse("A1 ON"), now});
    session.send({parse("A2 ON"), now});
    session.rest();
    session.send({parse("A1 OFF"), now});
    std::vector<std::string> opens_and_closes;
    for (const std::string& call : r.log->calls)
        if (call == "open" || call == "close") opens_and_closes.push_back(call);
    EXPECT_EQ(opens_and_closes, (std::vector<std::string>{"open", "close", "open"}));
    EXPECT_EQ(opened, 2);  // told at each opening: the bridge checks the first for the console
    EXPECT_EQ(frames().size(), 6u);
}

}  // namespace
}  // namespace kestrix::bridge
