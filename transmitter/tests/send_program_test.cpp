// kestrix-send as a user runs it.
#include "kestrix/controlcm.h"
#include "testkit/child.h"
#include "testkit/pseudo_terminal.h"
#include "testkit/scratch.h"
#include "testkit/shim.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <sstream>
#include <string>

namespace kestrix::testing {
namespace {

// kestrix-send with the arguments of `line`, split at blanks.
ending send(const std::string& line) {
    std::vector<std::string> argv = {KESTRIX_SEND};
    std::istringstream words(line);
    for (std::string w; words >> w;) argv.push_back(w);
    return run({argv});
}

TEST(SendProgram, DryRunPrintsTheFramesAndTheirMeaning) {
    const ending r = send("--dry-run a3 on B dim 50");
    EXPECT_TRUE(r.ok()) << r.output;
    EXPECT_NE(r.output.find("D5 AA 60 08 AD  x2  house A unit 3 ON"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("D5 AA 70 98 AD  x8  house B DIM"), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("house B unit"), std::string::npos) << "a house alone selects no unit\n" << r.output;
}

TEST(SendProgram, OneBadWordAndNothingIsSent) {
    const ending r = send("--dry-run -v A1 on A1 of");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.output.find("'of'"), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("sending"), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("D5"), std::string::npos) << r.output;
}

TEST(SendProgram, PortZeroFailsWithItsNumber) {
    const ending r = send("--port 0 A1 on");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("error 8002: Invalid port number"), std::string::npos) << r.output;
}

TEST(SendProgram, AMissingDeviceIsNamed) {
    const ending r = send("--device /dev/kestrix-none A1 on");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("error 8003"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("/dev/kestrix-none"), std::string::npos) << r.output;
}

// What a logic-analyser program reads from the dump, decoded as the
// transmitter would: the frames the dry run sent, and nothing else.
TEST(SendProgram, TheDumpOfADryRunReadsBackInSigrokAsItsFrames) {
    if (::access("/usr/bin/sigrok-cli", X_OK) != 0) GTEST_SKIP() << "sigrok-cli is not installed";
    scratch folder("kestrix-vcd");
    const std::string dump = folder / "dry-run.vcd";
    ASSERT_TRUE(send("--dry-run --vcd " + dump + " A1 on c3 off").ok());
    const ending back = run({{"/bin/sh", "-c", "sigrok-cli -I vcd -i " + dump + " --show && sigrok-cli -I vcd -i " + dump + " -O vcd"}});
    ASSERT_TRUE(back.ok()) << back.output;
    EXPECT_NE(back.output.find("- DTR: logic\n- RTS: logic"), std::string::npos) << back.output;
    // "#818 0!": microseconds, then the changes; ! is DTR, " is RTS.
    sim::receiver rx;
    bool dtr = true, rts = true;
    std::istringstream lines(back.output.substr(back.output.find("$enddefinitions")));
    std::uint64_t tick = 0;
    for (std::string word; lines >> word;) {
        if (word[0] == '#') {
            rx.lines(tick, dtr, rts);
            tick = std::stoull(word.substr(1)) * ticks_per_second / 1'000'000;
        } else if (word.size() == 2) {
            (word[1] == '!' ? dtr : rts) = word[0] == '1';
        }
    }
    rx.finish(tick);
    EXPECT_EQ(frames_of(rx), (std::vector<std::string>{"D5 AA 60 00 AD", "D5 AA 60 00 AD", "D5 AA 40 28 AD", "D5 AA 40 28 AD"}));
}

// A calibration as the user does it, answers typed, on a pseudo-terminal
// the shim watches: A1 ON, then a DIM frame for each answer.
TEST(SendProgram, CalibratesWithTheUserWatchingTheLamp) {
    pseudo_terminal port;
    scratch folder("kestrix-calibrate");
    const ending r = run({{"/bin/sh", "-c", "printf '\\n\\n\\n\\nn\\n' | exec \"$0\" --calibrate A1 --device \"$1\"", KESTRIX_SEND, port.slave},
                          shim_env(folder / "shim.log", {{"KESTRIX_SHIM_WATCH", port.slave}})});
    EXPECT_TRUE(r.ok()) << r.output;
    EXPECT_NE(r.output.find("dim_steps = 4\n"), std::string::npos) << r.output;
    EXPECT_EQ(std::count(r.output.begin(), r.output.end(), '?'), 5) << r.output;  // asked after each frame
    std::vector<std::string> frames = {"D5 AA 60 00 AD", "D5 AA 60 00 AD"};
    frames.insert(frames.end(), 10, "D5 AA 60 98 AD");
    EXPECT_EQ(frames_of(replay_shim_log(folder / "shim.log").rx), frames);
}

TEST(SendProgram, HelpDocumentsTheCommands) {
    const ending r = send("--help");
    EXPECT_EQ(r.status, 0);
    for (const char* text : {"--dry-run", "--device PATH", "B12 bright 30", "Exit status"})
        EXPECT_NE(r.output.find(text), std::string::npos) << text;
}

}  // namespace
}  // namespace kestrix::testing
