// End to end: the shared library, loaded by a host through dlopen, driving
// COM1 with the production serial layer and the real counter. Only the
// opening of /dev/ttyS0 and the DTR/RTS ioctls are intercepted.
#include "receiver.h"
#include "support/fakes.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace kestrix {
namespace {

std::uint64_t ticks_of(long long ns) {
    const auto n = static_cast<std::uint64_t>(ns);
    return n / 1'000'000'000 * ticks_per_second + n % 1'000'000'000 * ticks_per_second / 1'000'000'000;
}

// Runs the host under the shim; returns its exit status and standard output.
int run_host(const std::string& log, std::string& output) {
    int out[2];
    if (::pipe(out) < 0) return -1;
    pid_t child = ::fork();
    if (child == 0) {
        ::dup2(out[1], 1);
        ::close(out[0]);
        ::setenv("LD_PRELOAD", KESTRIX_SHIM, 1);
        ::setenv("KESTRIX_SHIM_LOG", log.c_str(), 1);
        ::setenv("KESTRIX_SHIM_REDIRECT", "/dev/ttyS0", 1);
        ::setenv("ASAN_OPTIONS", "verify_asan_link_order=0", 1);
        ::execl(KESTRIX_HOST, KESTRIX_HOST, KESTRIX_LIBRARY, static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(out[1]);
    char buf[256];
    for (ssize_t n; (n = ::read(out[0], buf, sizeof buf)) > 0;) output.append(buf, static_cast<std::size_t>(n));
    ::close(out[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(DlopenHost, SwitchesUnitA3OnThroughCom1) {
    const std::string log = (std::filesystem::temp_directory_path() /
                             ("kestrix-shim-" + std::to_string(::getpid()) + ".log")).string();
    std::string output;
    ASSERT_EQ(run_host(log, output), 0) << output;
    EXPECT_EQ(output, "A\n");  // the caller's house text, upper-cased

    sim::receiver rx;
    std::ifstream in(log);
    std::string line, kind;
    bool opened = false, closed = false;
    std::uint64_t close_tick = 0;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        long long ns;
        int dtr, rts;
        fields >> ns >> kind >> dtr >> rts;
        if (kind == "open") opened = true;
        if (kind == "close") closed = true, close_tick = ticks_of(ns);
        if (kind == "open" || kind == "line") rx.lines(ticks_of(ns), dtr, rts);
    }
    std::filesystem::remove(log);
    ASSERT_TRUE(opened);
    ASSERT_TRUE(closed);  // destroying the control closed the port
    rx.finish(close_tick);

    EXPECT_EQ(testing::frames_of(rx), (std::vector<std::string>{"D5 AA 60 08 AD", "D5 AA 60 08 AD"}));
    for (const auto& v : rx.violations()) ADD_FAILURE() << v.what;
    ASSERT_EQ(rx.pulses().size(), 80u);
    for (const auto& p : rx.pulses()) {
        EXPECT_GE(p.low_ticks, 625u);
        EXPECT_GE(p.standby_ticks, 625u);
    }
    EXPECT_GE(rx.pulses().back().standby_ticks, 750000u);
}

}  // namespace
}  // namespace kestrix
