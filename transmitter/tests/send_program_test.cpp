// kestrix-send as a user runs it.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace {

struct result {
    int status;
    std::string output;  // standard output and error together
};

result run(const std::string& arguments) {
    const std::string command = std::string(KESTRIX_SEND) + " " + arguments + " 2>&1";
    result r{-1, {}};
    FILE* p = ::popen(command.c_str(), "r");
    if (!p) return r;
    char buf[512];
    while (std::size_t n = std::fread(buf, 1, sizeof buf, p)) r.output.append(buf, n);
    const int status = ::pclose(p);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

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

TEST(SendProgram, HelpDocumentsTheCommands) {
    const result r = run("--help");
    EXPECT_EQ(r.status, 0);
    for (const char* text : {"--dry-run", "--device PATH", "B12 bright 30", "Exit status"})
        EXPECT_NE(r.output.find(text), std::string::npos) << text;
}

}  // namespace
