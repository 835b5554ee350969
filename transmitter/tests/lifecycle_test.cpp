// Opening, closing and failing: what the control does with the port around
// the transmissions, and how errors come out.
#include "testkit/fakes.h"

#include <gtest/gtest.h>

namespace kestrix {
namespace {

using testing::rig;

std::vector<std::string> frames_of(const rig& r) {
    return testing::frames_of(testing::decode(r.log->events, r.clock->current()));
}

TEST(Lifecycle, InitHandsPortAndSettingsToTheLineThenOpens) {
    rig r;
    r.control->comport(3);
    EXPECT_EQ(r.control->Init(), 0);
    EXPECT_EQ(r.log->calls, (std::vector<std::string>{"port 3", "settings 4800,N,8,1", "open"}));
    EXPECT_EQ(r.control->last_error(), "");
}

TEST(Lifecycle, ExecBeforeAnyInitTouchesNothing) {
    rig r;
    std::string house = "a";
    r.control->Exec(house, "3", cmd_on);
    EXPECT_TRUE(r.log->calls.empty());
    EXPECT_TRUE(r.log->events.empty());
    EXPECT_EQ(house, "a");
}

TEST(Lifecycle, FailedInitReturnsTheNumberAndSilencesExec) {
    rig r;
    ASSERT_EQ(r.control->Init(), 0);
    r.log->fail_open_with = errc::port_in_use;
    EXPECT_EQ(r.control->Init(), errc::port_in_use);
    EXPECT_EQ(r.control->last_error(), "cannot open");
    std::string house = "c";
    r.control->Exec(house, "3", cmd_on);
    EXPECT_TRUE(r.log->events.empty());
    EXPECT_EQ(house, "c");  // not upper-cased either

    r.log->fail_open_with = 0;  // the other program let go
    EXPECT_EQ(r.control->Init(), 0);
    EXPECT_EQ(r.control->last_error(), "");  // a host must not read the old failure
}

TEST(Lifecycle, ANumberTooWideForInitsResultIsAnOverflow) {
    rig r;
    ASSERT_EQ(r.control->Init(), 0);
    r.log->fail_open_with = 40000;
    try {
        r.control->Init();
        FAIL() << "no error";
    } catch (const error& e) {
        EXPECT_EQ(e.number(), errc::overflow);
    }
    std::string house = "A";
    r.control->Exec(house, "1", cmd_on);  // the failed Init still cleared the ready flag
    EXPECT_TRUE(r.log->events.empty());
}

TEST(Lifecycle, ResetComClosesButKeepsTheControlReady) {
    rig r;
    ASSERT_EQ(r.control->Init(), 0);
    r.control->ResetCom();
    EXPECT_FALSE(r.log->open);
    // Still ready: Exec tries to send and the closed port refuses.
    std::string house = "a";
    try {
        r.control->Exec(house, "1", cmd_on);
        FAIL() << "no error";
    } catch (const error& e) {
        EXPECT_EQ(e.number(), errc::port_not_open);
    }
    EXPECT_EQ(house, "A");
}

TEST(Lifecycle, DestructionClosesAnOpenPortAndLeavesAClosedOneAlone) {
    rig open, closed;
    auto open_log = open.log, closed_log = closed.log;
    ASSERT_EQ(open.control->Init(), 0);
    open.control.reset();
    closed.control.reset();
    EXPECT_FALSE(open_log->open);
    EXPECT_EQ(open_log->calls.back(), "close");
    EXPECT_TRUE(closed_log->calls.empty());
}

TEST(Lifecycle, SecondCommandOnTheOpenPortIsSent) {
    rig r;
    ASSERT_EQ(r.control->Init(), 0);
    std::string house = "A";
    r.control->Exec(house, "1", cmd_on);
    ASSERT_EQ(r.control->Init(), 0);
    r.control->Exec(house, "1", cmd_off);
    EXPECT_EQ(frames_of(r), (std::vector<std::string>{"D5 AA 60 00 AD", "D5 AA 60 00 AD", "D5 AA 60 20 AD",
                                                      "D5 AA 60 20 AD"}));
}

class ErrorAtLineChange : public ::testing::TestWithParam<std::size_t> {};

TEST_P(ErrorAtLineChange, EndsTheTransmissionThereWithItsNumber) {
    const std::size_t n = GetParam();
    rig r;
    ASSERT_EQ(r.control->Init(), 0);
    r.log->fail_change_at = n;
    r.log->fail_change_with = errc::line_change_failed;
    std::string house = "A";
    try {
        r.control->Exec(house, "9", cmd_dim, 50);  // five frames planned
        FAIL() << "no error";
    } catch (const error& e) {
        EXPECT_EQ(e.number(), errc::line_change_failed);
    }
    EXPECT_EQ(r.log->events.size(), n - 1);  // nothing after the failing edge
    // A frame is 80 edges; it arrived once its last pulse began.
    EXPECT_EQ(frames_of(r).size(), n / 80);
}

INSTANTIATE_TEST_SUITE_P(Edges, ErrorAtLineChange, ::testing::Values(1u, 2u, 81u, 160u, 161u, 400u));

TEST(Factory, KnowsOnlyItsOwnClassName) {
    std::unique_ptr<controlcm> control(kestrix_create("Kestrix.controlcm"));
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(control->comport(), 0);
    for (const char* name : {"kestrix.controlcm", "Kestrix.Controlcm", "controlcm", "", "MSCommLib.MSComm"})
        EXPECT_EQ(kestrix_create(name), nullptr) << name;
    EXPECT_EQ(kestrix_create(nullptr), nullptr);
}

}  // namespace
}  // namespace kestrix
