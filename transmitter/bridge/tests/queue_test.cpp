// The queue, the levels planned into commands, and the port taken in
// turns, on the fake line and counter.
#include "command_queue.h"
#include "levels.h"
#include "simulated_line.h"
#include "testkit/fakes.h"

#include <gtest/gtest.h>

#include <sstream>

namespace kestrix::bridge {
namespace {

// "A1 ON", "A3 DIM 32%", "A1 LEVEL 30%": a request as it writes itself.
request parse(const std::string& text) {
    std::istringstream words(text);
    std::string to, what, percent;
    words >> to >> what >> percent;
    const auto amount = percent.empty() ? 0 : *x10::parse_percent(percent);
    if (what == "RESEND") return {{*x10::parse_address(to), action::on, 0}, {}, true};
    if (what == "LEVEL") return {{*x10::parse_address(to), action::on, 0}, bridge::percent{percent == "0%" ? 0 : amount}};
    return {{*x10::parse_address(to), *x10::parse_action(what), amount}, {}};
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
    while (auto p = queue.take()) waiting.push_back(p->req.text());
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
                      merge_case{"dims_stay_apart", {"A1 DIM 32%", "A1 DIM 32%"}, {"A1 DIM 32%", "A1 DIM 32%"}},
                      merge_case{"a_resend_between", {"A1 ON", "A1 RESEND", "A1 OFF", "A1 RESEND"},
                                 {"A1 ON", "A1 RESEND", "A1 OFF", "A1 RESEND"}},
                      merge_case{"a_slider_moved", {"A1 LEVEL 10%", "A1 LEVEL 40%", "A1 LEVEL 90%", "A1 LEVEL 60%"}, {"A1 LEVEL 60%"}},
                      merge_case{"a_level_after_on", {"A1 ON", "A2 ON", "A1 LEVEL 30%"}, {"A1 LEVEL 30%", "A2 ON"}},
                      merge_case{"off_after_a_level", {"A1 LEVEL 30%", "A1 OFF"}, {"A1 OFF"}},
                      merge_case{"a_dim_of_the_house_between_levels", {"A1 LEVEL 30%", "A2 DIM 25%", "A1 LEVEL 60%"},
                                 {"A1 LEVEL 30%", "A2 DIM 25%", "A1 LEVEL 60%"}}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(Queue, AFullQueueRefusesTheNewCommandButStillMerges) {
    command_queue queue(2);
    EXPECT_EQ(queue.push(parse("A1 ON"), steady::now()), command_queue::added::queued);
    EXPECT_EQ(queue.push(parse("A2 ON"), steady::now()), command_queue::added::queued);
    EXPECT_EQ(queue.push(parse("A3 ON"), steady::now()), command_queue::added::full);
    EXPECT_EQ(queue.push(parse("A2 OFF"), steady::now()), command_queue::added::merged);
    EXPECT_EQ(queue.take()->req.text(), "A1 ON");
    EXPECT_EQ(queue.take()->req.text(), "A2 OFF");
}

// A level from what the bridge assumes the lamp is at, for the module the
// unit is: the frames that go out, as the transmitter reads them, and the
// level they leave.
struct level_case {
    std::optional<int> before;  // in the module's steps; nothing: not known
    int target;                 // percent
    std::vector<std::string> frames;
    int reached;                // percent
    levels::profile module = {};
    std::optional<int> last = {};  // the level it had when it went off
};

std::ostream& operator<<(std::ostream& os, const level_case& c) {
    return os << (c.before ? std::to_string(*c.before) : "unknown") << " to " << c.target << "% on " << c.module.steps
              << (c.module.resumes ? " resuming" : "");
}

class Levels : public ::testing::TestWithParam<level_case> {};

TEST_P(Levels, AreReachedOnTheModulesSteps) {
    const level_case& c = GetParam();
    kestrix::testing::rig r;
    ASSERT_EQ(r.control->Init(), 0);
    const auto in_steps = [](std::optional<int> n) { return n ? std::optional<steps>(steps{*n}) : std::nullopt; };
    const levels::plan plan = levels::reach({in_steps(c.before), in_steps(c.last)}, {'A', 1}, {c.target}, c.module);
    if (plan.cmd) plan.frames ? x10::send_frames(*r.control, *plan.cmd, plan.frames) : x10::send(*r.control, *plan.cmd);
    std::vector<std::string> frames;
    const auto rx = kestrix::testing::decode(r.log->events, r.clock->current());
    for (std::size_t i = 0; i < rx.frames().size(); i += 2) frames.push_back(sim::describe(rx.frames()[i].bytes));
    EXPECT_EQ(frames, c.frames);
    EXPECT_EQ(levels::percent_of(plan.reached, c.module).value, c.reached);
}

using F = std::vector<std::string>;
const std::string on = "house A unit 1 ON", off = "house A unit 1 OFF", dim = "house A DIM", bright = "house A BRIGHT";

// n DIM frames
F dims(int n, F before = {on}) {
    before.insert(before.end(), static_cast<std::size_t>(n), dim);
    return before;
}

const levels::profile sixteen{16, false}, thirty_two{32, false}, resuming{8, true};

INSTANTIATE_TEST_SUITE_P(
    Targets, Levels,
    ::testing::Values(level_case{std::nullopt, 30, dims(6), 25},  // 100 - 6 x 12.5
                      level_case{0, 30, dims(6), 25}, level_case{0, 100, F{on}, 100},
                      level_case{std::nullopt, 100, F{on}, 100}, level_case{0, 0, F{}, 0}, level_case{std::nullopt, 0, F{off}, 0},
                      level_case{5, 0, F{off}, 0}, level_case{2, 50, F{on, bright, bright}, 50}, level_case{6, 50, F{on, dim, dim}, 50},
                      level_case{4, 50, F{}, 50}, level_case{4, 52, F{}, 50}, level_case{8, 1, dims(7), 13},
                      level_case{1, 100, F{on, bright, bright, bright, bright, bright, bright, bright}, 100},
                      level_case{0, 7, dims(7), 13},
                      // A module of 16 or 32 steps through this home's transceiver: more frames than Exec sends at once.
                      level_case{0, 30, dims(11), 31, sixteen}, level_case{std::nullopt, 30, dims(11), 31, sixteen},
                      level_case{16, 50, dims(8), 50, sixteen}, level_case{0, 1, dims(31), 3, thirty_two},
                      // A soft-start module comes back at its last level.
                      level_case{0, 40, F{on}, 38, resuming, 3}, level_case{0, 75, F{on, bright, bright, bright}, 75, resuming, 3},
                      level_case{0, 25, dims(1), 25, resuming, 3}, level_case{std::nullopt, 30, dims(6), 25, resuming}));

// Relative steps move the level too; ON brings a lamp that was off on at full.
TEST(Levels, CommandsMoveTheAssumedLevel) {
    const address a{'A', 1};
    const auto at = [](int n) { return levels::assumed{steps{n}, {}}; };
    EXPECT_EQ(levels::after({}, {a, action::on, 0}), levels::full);
    EXPECT_EQ(levels::after(at(3), {a, action::on, 0}), steps{3});
    EXPECT_EQ(levels::after(at(3), {a, action::off, 0}), steps{0});
    EXPECT_EQ(levels::after(at(0), {a, action::dim, 25}), steps{6});
    EXPECT_EQ(levels::after(at(2), {a, action::dim, 100}), steps{1});  // dimmed as far as it goes, still on
    EXPECT_EQ(levels::after(at(7), {a, action::bright, 50}), levels::full);
    EXPECT_EQ(levels::after({steps{0}, steps{3}}, {a, action::on, 0}, {8, true}), steps{3});  // it resumes
    EXPECT_EQ(levels::after(at(0), {a, action::dim, 50}, {16, false}), steps{12});         // 4 frames of 16 steps
    // A relative step moves the assumed level by the frames the library sends for it.
    for (const int percent : {6, 7, 19, 20, 31, 60, 81}) {
        kestrix::testing::rig r;
        ASSERT_EQ(r.control->Init(), 0);
        x10::send(*r.control, {{'A', 0}, action::dim, percent});
        const auto frames = kestrix::testing::decode(r.log->events, r.clock->current()).frames().size() / 2;
        EXPECT_EQ(levels::full.value - levels::after({levels::full, {}}, {a, action::dim, percent}).value, static_cast<int>(frames)) << percent;
    }
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
    // As the sending thread has it planned: `text` going out once.
    void send(const std::string& text, std::optional<steady::time_point> arrived = {}) {
        const request q = parse(text);
        session.send({{q, arrived.value_or(now)}, q.cmd, 1, {}});
    }
};

TEST_F(Session, AHeldPortIsWaitedForThenTheCommandGoesOut) {
    r.log->fail_open_with = errc::port_in_use;
    free_after = 3;
    send("A1 ON");
    EXPECT_EQ(kinds(), "bs");  // busy said once
    EXPECT_EQ(frames(), (std::vector<std::string>{"D5 AA 60 00 AD", "D5 AA 60 00 AD"}));
}

TEST_F(Session, APortHeldPastTheWaitFailsTheCommandWithItsNumber) {
    r.log->fail_open_with = errc::port_in_use;
    const steady::time_point arrived = now;
    send("A1 ON", arrived);
    ASSERT_EQ(kinds(), "bf");
    EXPECT_EQ(reports[1].error, errc::port_in_use);
    EXPECT_GE(now - arrived, std::chrono::seconds(10));
    EXPECT_LT(now - arrived, std::chrono::seconds(11));
}

TEST_F(Session, AMissingPortFailsAtOnceAndTheNextCommandTriesAgain) {
    r.log->fail_open_with = errc::port_not_found;
    send("A1 ON");
    EXPECT_EQ(kinds(), "f");
    EXPECT_EQ(pauses, 0);
    r.log->fail_open_with = 0;  // plugged in
    send("A1 OFF");
    EXPECT_EQ(kinds(), "fs");
}

TEST_F(Session, ThePortIsKeptForABurstAndClosedBetweenBursts) {
    send("A1 ON");
    send("A2 ON");
    session.rest();
    send("A1 OFF");
    std::vector<std::string> opens_and_closes;
    for (const std::string& call : r.log->calls)
        if (call == "open" || call == "close") opens_and_closes.push_back(call);
    EXPECT_EQ(opens_and_closes, (std::vector<std::string>{"open", "close", "open"}));
    EXPECT_EQ(opened, 2);  // told at each opening: the bridge checks the first for the console
    EXPECT_EQ(frames().size(), 6u);
}

// A lamp at the level asked for already gets nothing, and the port is not
// even opened (repeats for a module that hears badly: the loop's tests).
TEST_F(Session, OpensNothingForNothing) {
    session.send({{parse("A1 LEVEL 50%"), now}, std::nullopt, 1, steps{4}});
    EXPECT_TRUE(r.log->calls.empty());
    EXPECT_EQ(kinds(), "s");
    EXPECT_EQ(reports.back().level, steps{4});
}

}  // namespace
}  // namespace kestrix::bridge
