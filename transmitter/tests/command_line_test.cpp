// kestrix-send's command line: what it accepts, what it refuses (naming the
// word), and that one bad word means nothing is sent.
#include "calibration.h"
#include "command_line.h"
#include "dry_run_report.h"
#include "send_program.h"
#include "simulated_line.h"
#include "testkit/fakes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

namespace kestrix::cli {
namespace {

std::vector<std::string> words(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> out;
    for (std::string w; in >> w;) out.push_back(w);
    return out;
}

struct good_case {
    const char* line;
    std::vector<std::string> commands;  // as each command writes itself
};

std::ostream& operator<<(std::ostream& os, const good_case& c) { return os << c.line; }

class GoodCommandLine : public ::testing::TestWithParam<good_case> {};

TEST_P(GoodCommandLine, Parses) {
    std::vector<std::string> got;
    for (const x10::command& c : parse(words(GetParam().line)).commands) got.push_back(c.text());
    EXPECT_EQ(got, GetParam().commands);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, GoodCommandLine,
    ::testing::Values(good_case{"A3 on", {"A3 ON"}}, good_case{"a3 OFF", {"A3 OFF"}},
                      good_case{"B dim 50", {"B DIM 50%"}}, good_case{"B12 bright 30%", {"B12 BRIGHT 30%"}},
                      good_case{"p16 On", {"P16 ON"}}, good_case{"C01 off", {"C1 OFF"}},
                      good_case{"A1 dim 1 A1 dim 100", {"A1 DIM 1%", "A1 DIM 100%"}},
                      good_case{"a3 on B dim 50 -v", {"A3 ON", "B DIM 50%"}}, good_case{"-v -- a3 on", {"A3 ON"}}));

struct bad_case {
    const char* line;
    const char* names;  // the message must contain this
};

std::ostream& operator<<(std::ostream& os, const bad_case& c) { return os << c.line; }

class BadCommandLine : public ::testing::TestWithParam<bad_case> {};

TEST_P(BadCommandLine, IsRefusedNamingTheWord) {
    try {
        parse(words(GetParam().line));
        FAIL() << "accepted";
    } catch (const usage_error& e) {
        EXPECT_NE(std::string(e.what()).find(GetParam().names), std::string::npos) << e.what();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Lines, BadCommandLine,
    ::testing::Values(bad_case{"Q3 on", "'Q3'"}, bad_case{"A0 on", "unit 0"}, bad_case{"A17 on", "unit 17"},
                      bad_case{"A3x on", "'A3x'"}, bad_case{"3 on", "'3'"}, bad_case{"A3 toggle", "'toggle'"},
                      bad_case{"A3", "'A3' needs an action"}, bad_case{"A on", "needs a unit"},
                      bad_case{"B dim", "percentage"}, bad_case{"B dim 0", "'0'"}, bad_case{"B dim 101", "'101'"},
                      bad_case{"B dim x", "'x'"}, bad_case{"A1 on --fast", "'--fast'"},
                      bad_case{"--port x A1 on", "'x'"}, bad_case{"--port", "--port needs a value"},
                      bad_case{"--repeat 0 A1 on", "'0'"}, bad_case{"--port 1 --device /dev/x A1 on", "together"},
                      bad_case{"-v", "no command"}, bad_case{"A1 on Q1 off", "'Q1'"},
                      bad_case{"A dim -5", "'-5' is not a percentage"}, bad_case{"-- -v A1 on", "'-v'"},
                      bad_case{"--json", "--json goes with --list"}, bad_case{"--list A1 on", "takes no command"},
                      bad_case{"--list --port 2", "takes no --port"}, bad_case{"--check --dry-run", "sends nothing"},
                      bad_case{"--list --check", "cannot be used together"}, bad_case{"--wait x A1 on", "'x'"},
                      bad_case{"--wait 3601 A1 on", "'3601'"}, bad_case{"--list --wait 5", "sends nothing"},
                      bad_case{"--calibrate", "--calibrate needs a value"}, bad_case{"--calibrate B", "'B'"},
                      bad_case{"--calibrate A1 --dry-run", "needs the lamp"}, bad_case{"--calibrate A1 A1 on", "takes no command"},
                      bad_case{"--calibrate A1 --check", "cannot be used together"}));

TEST(CommandLine, OptionsAndHelp) {
    const options o = parse(words("--port 5 --repeat 3 --wait 5 --dry-run -v A1 on"));
    EXPECT_EQ(o.port, 5);
    EXPECT_EQ(o.repeat, 3);
    EXPECT_EQ(o.wait, 5);
    EXPECT_TRUE(o.dry_run);
    EXPECT_TRUE(o.verbose);
    EXPECT_EQ(parse(words("--device /dev/ttyUSB1 A1 on")).device, "/dev/ttyUSB1");
    EXPECT_TRUE(parse(words("--help")).help);
    EXPECT_TRUE(parse(words("Q9 frobnicate --help")).help);  // help wins over a bad line
    EXPECT_TRUE(parse(words("--list --json")).json);
    EXPECT_EQ(parse(words("--check --port 6")).port, 6);
    EXPECT_EQ(parse(words("--calibrate b12 --wait 5")).calibrate, (x10::address{'B', 12}));
}

// The calibration with scripted answers: the frames it sends (each goes
// out twice), what it says and its exit status.
struct calibration_case {
    const char* name;
    std::string answers;
    int dims;  // DIM frames after the ON
    int status;
    const char* says;
};

std::ostream& operator<<(std::ostream& os, const calibration_case& c) { return os << c.name; }

class Calibration : public ::testing::TestWithParam<calibration_case> {};

TEST_P(Calibration, CountsTheFramesThatMadeTheLampDimmer) {
    const calibration_case& c = GetParam();
    auto log = std::make_shared<testing::line_log>();
    platform on;
    on.counter = [] { return std::make_unique<testing::fake_counter>(); };  // the control's, gone with it
    on.line = [&](const options&, tick_counter& t, sim::receiver&) {
        return std::make_unique<testing::recording_line>(static_cast<testing::fake_counter&>(t), log);
    };
    std::istringstream in(c.answers);
    std::ostringstream out, err;
    EXPECT_EQ(calibrate(parse(words("--calibrate A1 --device /dev/kestrix-test")), in, out, err, on), c.status) << err.str();
    std::vector<std::string> expected = {"D5 AA 60 00 AD", "D5 AA 60 00 AD"};
    expected.insert(expected.end(), static_cast<std::size_t>(2 * c.dims), "D5 AA 60 98 AD");
    ASSERT_FALSE(log->events.empty());
    EXPECT_EQ(testing::frames_of(testing::decode(log->events, log->events.back().tick + 1'000'000)), expected);
    EXPECT_NE(out.str().find(c.says), std::string::npos) << out.str();
}

INSTANTIATE_TEST_SUITE_P(
    Answers, Calibration,
    ::testing::Values(calibration_case{"four_made_a_difference", "\n\n\n\nn\n", 5, 0, "[[unit]]\naddress = \"A1\"\ndim_steps = 4\n"},
                      calibration_case{"a word it does not know", "Y\nmaybe\nNo\n", 2, 1, "Press Enter if the last frame"},
                      calibration_case{"left", "\nq\n", 2, 1, "Left without a result"},
                      calibration_case{"no_answer", "", 1, 1, "Left without a result"},
                      calibration_case{"still_dimming_after_32", std::string(40, '\n'), 32, 1, "does not seem to dim"}),
    [](const auto& row) {
        std::string name = row.param.name;
        std::replace(name.begin(), name.end(), ' ', '_');
        return name;
    });

struct frame_case {
    std::array<std::uint8_t, 5> bytes;
    const char* meaning;
};

std::ostream& operator<<(std::ostream& os, const frame_case& c) { return os << c.meaning; }

class FrameMeaning : public ::testing::TestWithParam<frame_case> {};

TEST_P(FrameMeaning, ReadsAsTheReceiverDoes) { EXPECT_EQ(sim::describe(GetParam().bytes), GetParam().meaning); }

INSTANTIATE_TEST_SUITE_P(Frames, FrameMeaning,
                         ::testing::Values(frame_case{{0xD5, 0xAA, 0x60, 0x08, 0xAD}, "house A unit 3 ON"},
                                           frame_case{{0xD5, 0xAA, 0x34, 0x78, 0xAD}, "house P unit 16 OFF"},
                                           frame_case{{0xD5, 0xAA, 0x74, 0x18, 0xAD}, "house B unit 12 ON"},
                                           frame_case{{0xD5, 0xAA, 0x70, 0x98, 0xAD}, "house B DIM"},
                                           frame_case{{0xD5, 0xAA, 0x40, 0x88, 0xAD}, "house C BRIGHT"},
                                           frame_case{{0xD5, 0xAA, 0x60, 0x01, 0xAD}, "house A, unknown command byte"},
                                           frame_case{{0xD5, 0xAA, 0x61, 0x00, 0xAD}, "house A, unknown house byte"},
                                           frame_case{{0xD5, 0xAB, 0x60, 0x00, 0xAD}, "not a frame"}));

// The dry run end to end on a driven counter: the real control, the
// simulated line and the report a user reads.
class DryRun : public ::testing::Test {
protected:
    struct counter final : tick_counter {
        std::uint64_t t = 0;
        std::uint64_t now() noexcept override { return t += 50; }
    };
    sim::receiver rx;
};

TEST_F(DryRun, ReportsFramesWithCountsAndNoFault) {
    auto clock = std::make_unique<counter>();
    counter& c = *clock;
    controlcm control(std::make_unique<sim::simulated_line>(c, rx), std::move(clock));
    ASSERT_EQ(control.Init(), 0);
    std::string a = "a", b = "B";
    control.Exec(a, "3", cmd_on);
    control.Exec(b, "", cmd_dim, 50);
    control.ResetCom();
    rx.finish(c.now());
    std::ostringstream out;
    EXPECT_TRUE(print_dry_run(out, rx));
    EXPECT_NE(out.str().find("D5 AA 60 08 AD  x2  house A unit 3 ON"), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("D5 AA 70 98 AD  x8  house B DIM"), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("No timing faults."), std::string::npos) << out.str();
}

TEST_F(DryRun, ReportsATimingFault) {
    rx.lines(0, true, true);
    rx.lines(1000, false, true);
    rx.lines(1100, true, true);  // a 100-tick pulse
    rx.finish(2000);
    std::ostringstream out;
    EXPECT_FALSE(print_dry_run(out, rx));
    EXPECT_NE(out.str().find("Timing fault"), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("DTR low lasted 100 ticks"), std::string::npos) << out.str();
}

// The exit status of a send: the control's counter races ahead of the one
// the simulated transmitter stamps its lines with, so every state it sees is
// shorter than the control waited.
TEST(Send, ExitsWithThreeOnATimingFaultAndOneOnAPortThatFails) {
    testing::fake_counter slow(0, 1);
    platform on;
    on.counter = [] { return std::make_unique<testing::fake_counter>(0, 700); };
    on.line = [&slow](const options&, tick_counter&, sim::receiver& rx) {
        return std::make_unique<sim::simulated_line>(slow, rx);
    };
    std::ostringstream out, err;
    EXPECT_EQ(send(parse(words("--dry-run A1 on")), out, err, on), 3) << out.str() << err.str();
    EXPECT_NE(out.str().find("Timing fault"), std::string::npos) << out.str();

    auto log = std::make_shared<testing::line_log>();
    log->fail_open_with = errc::port_not_found;
    on.line = [&](const options&, tick_counter&, sim::receiver&) {
        return std::make_unique<testing::recording_line>(slow, log);
    };
    EXPECT_EQ(send(parse(words("A1 on")), out, err, on), 1);
    EXPECT_NE(err.str().find("error 8003"), std::string::npos) << err.str();
}

}  // namespace
}  // namespace kestrix::cli
