// End to end: the shared library, loaded by a host through dlopen, driving
// COM1 with the production serial layer and the real counter. Only the
// opening of /dev/ttyS0 and the DTR/RTS ioctls are intercepted.
#include "receiver.h"
#include "testkit/child.h"
#include "testkit/scratch.h"
#include "testkit/shim.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <fstream>

namespace kestrix::testing {
namespace {

// Runs a program under the shim, with /dev/ttyS0 (COM1) swapped for a
// pseudo-terminal, and any further settings of the shim in `more`.
class UnderShim : public ::testing::Test {
protected:
    ending run_under_shim(const std::vector<std::string>& argv, const environment& more = {}) {
        environment env = {{"KESTRIX_SHIM_REDIRECT", "/dev/ttyS0"}};
        env.insert(env.end(), more.begin(), more.end());
        return run({argv, shim_env(log, env)});
    }
    recording replay() const { return replay_shim_log(log); }

    scratch folder{"kestrix-shim"};
    std::string log = folder / "shim.log";
};

TEST_F(UnderShim, AHostThatDlopensTheLibrarySwitchesUnitA3OnAndOffThroughCom1) {
    const ending r = run_under_shim({KESTRIX_HOST, KESTRIX_LIBRARY});
    ASSERT_TRUE(r.ok()) << r.output;
    EXPECT_EQ(r.output, "A\n");  // the caller's house text, upper-cased

    recording rec = replay();
    // The second Init kept the port: one opening, and the only hang-up is
    // the one when the control goes away. A reopen would power the
    // transmitter down between the two commands.
    EXPECT_EQ(rec.opened, 1);
    EXPECT_EQ(rec.closed, 1);
    EXPECT_EQ(frames_of(rec.rx), (std::vector<std::string>{"D5 AA 60 08 AD", "D5 AA 60 08 AD",
                                                                    "D5 AA 60 28 AD", "D5 AA 60 28 AD"}));
    for (const auto& v : rec.rx.violations()) ADD_FAILURE() << v.what;
    ASSERT_EQ(rec.rx.pulses().size(), 160u);
    for (const auto& p : rec.rx.pulses()) {
        EXPECT_GE(p.low_ticks, 625u);
        EXPECT_GE(p.standby_ticks, 625u);
    }
    EXPECT_GE(rec.rx.pulses()[79].standby_ticks, 750000u);
    EXPECT_GE(rec.rx.pulses().back().standby_ticks, 750000u);
}

TEST_F(UnderShim, TheSenderDrivesCom1AndDumpsWhatItDrove) {
    const std::string dump = folder / "dump.vcd";
    const ending r = run_under_shim({KESTRIX_SEND, "--port", "1", "--vcd", dump, "b2", "off"});
    ASSERT_TRUE(r.ok()) << r.output;
    recording rec = replay();
    EXPECT_EQ(frames_of(rec.rx), (std::vector<std::string>{"D5 AA 70 30 AD", "D5 AA 70 30 AD"}));
    EXPECT_TRUE(rec.closed);
    // One time stamp for the opening, one for each of the 160 edges, one for the closing.
    std::ifstream in(dump);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(std::count(text.begin(), text.end(), '#'), 162) << text.substr(0, 400);
}

TEST_F(UnderShim, ASenderWhosePortFailsAfterOpeningSaysSoAndExitsWithOne) {
    const ending r = run_under_shim({KESTRIX_SEND, "--port", "1", "A1", "on"}, {{"KESTRIX_SHIM_FAIL_LINES", "30:5"}});
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find("error 8020"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("/dev/ttyS0"), std::string::npos) << r.output;
    EXPECT_TRUE(replay().closed);
}

struct check_case {
    const char* name;
    environment shim;  // how the "adapter" behaves
    std::vector<std::string> args;
    int status;
    std::vector<const char*> says;
};

std::ostream& operator<<(std::ostream& os, const check_case& c) { return os << c.name; }

class PortCheck : public UnderShim, public ::testing::WithParamInterface<check_case> {};

TEST_P(PortCheck, GivesItsVerdictWithTheFigures) {
    std::vector<std::string> argv = {KESTRIX_SEND, "--check"};
    argv.insert(argv.end(), GetParam().args.begin(), GetParam().args.end());
    const ending r = run_under_shim(argv, GetParam().shim);
    EXPECT_EQ(r.status, GetParam().status) << r.output;
    for (const char* text : GetParam().says) EXPECT_NE(r.output.find(text), std::string::npos) << text << "\n" << r.output;
    EXPECT_EQ(replay().rx.frames().size(), 0u);  // no X10 frame went out
}

INSTANTIATE_TEST_SUITE_P(
    Adapters, PortCheck,
    ::testing::Values(
        check_case{"lines_that_follow", {{"KESTRIX_SHIM_REPORT_LINES", "1"}}, {"--port", "1"}, 0,
                   {"Checking COM1 (/dev/ttyS0)", "32 changes accepted", "the lines followed every change",
                    "Verdict: COM1 (/dev/ttyS0) can drive the Firecracker."}},
        check_case{"lines_that_stay_put", {{"KESTRIX_SHIM_REPORT_LINES", "stuck"}}, {"--port", "1"}, 1,
                   {"the lines did not follow the changes", "cannot drive", "do not follow"}},
        check_case{"lines_not_reported", {}, {"--device", "/dev/ttyS0"}, 0,
                   {"not reported by this driver", "can drive the Firecracker as far as can be told"}},
        check_case{"slow_driver", {{"KESTRIX_SHIM_EDGE_NS", "2000000"}, {"KESTRIX_SHIM_REPORT_LINES", "1"}}, {"--port", "1"}, 0,
                   {"Each change took 2.0", "instead of 712 ms", "can drive"}},  // 2 ms and a little real time
        check_case{"too_slow_driver", {{"KESTRIX_SHIM_EDGE_NS", "60000000"}}, {"--port", "1"}, 1,
                   {"Each change took 60.", "breaks the frame apart", "cannot drive the Firecracker"}},
        check_case{"lines_refused", {{"KESTRIX_SHIM_FAIL_LINES", "1:25"}}, {"--port", "1"}, 1,
                   {"error 8020", "refused to change DTR or RTS"}},
        check_case{"missing_device", {}, {"--device", "/dev/kestrix-none"}, 1,
                   {"error 8003", "/dev/kestrix-none", "cannot drive"}},
        check_case{"port_zero", {}, {"--port", "0"}, 1, {"kestrix-send: error 8002: COM0 is an invalid port number"}}),
    [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace kestrix::testing
