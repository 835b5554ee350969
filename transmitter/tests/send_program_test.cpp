// kestrix-send as a user runs it.
#include "kestrix/controlcm.h"
#include "receiver.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

namespace {

struct result {
    int status;
    std::string output;  // standard output and error together
};

result run_command(const std::string& line) {
    const std::string command = line + " 2>&1";
    result r{-1, {}};
    FILE* p = ::popen(command.c_str(), "r");
    if (!p) return r;
    char buf[512];
    while (std::size_t n = std::fread(buf, 1, sizeof buf, p)) r.output.append(buf, n);
    const int status = ::pclose(p);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

result run(const std::string& arguments) { return run_command(std::string(KESTRIX_SEND) + " " + arguments); }

TEST(SendProgram, DryRunPrintsTheFramesAndTheirMeaning) {
    const result r = run("--dry-run a3 on B dim 50");
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("D5 AA 60 08 AD  x2  house A unit 3 ON"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("D5 AA 70 98 AD  x8  house B DIM"), std::string::npos) << r.output;
}

TEST(SendProgram, OneBadWordAndNothingIsSent) {
    const result r = run("--dry-run -v A1 on A1 of");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.output.find("'of'"), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("sending"), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("D5"), std::string::npos) << r.output;
}

TEST(SendProgram, PortZeroFailsWithItsNumber) {
    const result r = run("--port 0 A1 on");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("error 8002: Invalid port number"), std::string::npos) << r.output;
}

TEST(SendProgram, AMissingDeviceIsNamed) {
    const result r = run("--device /dev/kestrix-none A1 on");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("error 8003"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("/dev/kestrix-none"), std::string::npos) << r.output;
}

// What a logic-analyser program reads from the dump, decoded as the
// transmitter would: the frames the dry run sent, and nothing else.
TEST(SendProgram, TheDumpOfADryRunReadsBackInSigrokAsItsFrames) {
    if (std::system("sigrok-cli --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "sigrok-cli is not installed";
    const std::string dump = ::testing::TempDir() + "kestrix-dry-run.vcd";
    ASSERT_EQ(run("--dry-run --vcd " + dump + " A1 on c3 off").status, 0);
    const result back = run_command("sigrok-cli -I vcd -i " + dump + " --show && sigrok-cli -I vcd -i " + dump + " -O vcd");
    ASSERT_EQ(back.status, 0) << back.output;
    EXPECT_NE(back.output.find("- DTR: logic\n- RTS: logic"), std::string::npos) << back.output;
    // "#818 0!": microseconds, then the changes; ! is DTR, " is RTS.
    kestrix::sim::receiver rx;
    bool dtr = true, rts = true;
    std::istringstream lines(back.output.substr(back.output.find("$enddefinitions")));
    std::uint64_t tick = 0;
    for (std::string word; lines >> word;) {
        if (word[0] == '#') {
            rx.lines(tick, dtr, rts);
            tick = std::stoull(word.substr(1)) * kestrix::ticks_per_second / 1'000'000;
        } else if (word.size() == 2) {
            (word[1] == '!' ? dtr : rts) = word[0] == '1';
        }
    }
    rx.finish(tick);
    std::vector<std::string> frames;
    for (const auto& f : rx.frames()) frames.push_back(kestrix::sim::hex(f.bytes));
    EXPECT_EQ(frames, (std::vector<std::string>{"D5 AA 60 00 AD", "D5 AA 60 00 AD", "D5 AA 40 28 AD", "D5 AA 40 28 AD"}));
    std::remove(dump.c_str());
}

TEST(SendProgram, HelpDocumentsTheCommands) {
    const result r = run("--help");
    EXPECT_EQ(r.status, 0);
    for (const char* text : {"--dry-run", "--device PATH", "B12 bright 30", "Exit status"})
        EXPECT_NE(r.output.find(text), std::string::npos) << text;
}

}  // namespace
