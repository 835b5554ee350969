// The line waveform of SendToCM17 on a driven counter: pulse order, every
// state's length, and the closing wait.
#include "testkit/child.h"
#include "testkit/fakes.h"
#include "timing.h"

#include <gtest/gtest.h>

#include <ctime>
#include <algorithm>

#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>
#include <limits>

namespace kestrix {
namespace {

using testing::fake_counter;
using testing::monotonic_ns;
using testing::rig;

constexpr std::uint64_t pulse_ticks = 625;
constexpr std::uint64_t closing_ticks = 750000;
constexpr std::uint64_t near_wrap = std::numeric_limits<std::uint64_t>::max() - 3000;

struct counter_case {
    std::uint64_t start;
    std::uint64_t step;
};

std::ostream& operator<<(std::ostream& os, const counter_case& c) {
    return os << "start " << c.start << " step " << c.step;
}

const auto counters = ::testing::Values(counter_case{0, 1}, counter_case{near_wrap, 1}, counter_case{5, 7},
                                        counter_case{near_wrap, 13}, counter_case{0, 1000});

class SendWaveform : public ::testing::TestWithParam<counter_case> {};

// One letter per pulse: D for a low pulse on DTR (bit 1), R on RTS (bit 0).
std::string pulse_letters(const sim::receiver& rx) {
    std::string s;
    for (const auto& p : rx.pulses()) s += p.bit ? 'D' : 'R';
    return s;
}

TEST_P(SendWaveform, ClocksTheFrameTwiceWithFullLengthStatesThenWaits) {
    rig r(GetParam().start, GetParam().step);
    ASSERT_EQ(r.control->Init(), 0);
    const std::uint8_t frame[] = {0xD5, 0xAA, 0x60, 0x00, 0xAD};
    r.control->SendToCM17(frame);
    auto rx = testing::decode(r.log->events, r.clock->current());

    const std::string once = "DDRDRDRD" "DRDRDRDR" "RDDRRRRR" "RRRRRRRR" "DRDRDDRD";
    EXPECT_EQ(pulse_letters(rx), once + once);
    for (const auto& v : rx.violations()) ADD_FAILURE() << v.what;  // both lines low included
    ASSERT_EQ(rx.pulses().size(), 80u);
    for (std::size_t i = 0; i < 80; ++i) {
        EXPECT_GE(rx.pulses()[i].low_ticks, pulse_ticks) << "pulse " << i;
        EXPECT_GE(rx.pulses()[i].standby_ticks, pulse_ticks) << "standby after pulse " << i;
    }
    EXPECT_GE(rx.pulses().back().standby_ticks, closing_ticks);
    EXPECT_TRUE(r.log->events.back().dtr && r.log->events.back().rts);
}

INSTANTIATE_TEST_SUITE_P(Counters, SendWaveform, counters);

struct delay_case {
    counter_case counter;
    std::int32_t n;
    std::uint64_t ticks;
    bool sleeps;  // a wait this long sleeps through most of its length
};

std::ostream& operator<<(std::ostream& os, const delay_case& c) {
    return os << c.counter << " n " << c.n;
}

class Delay : public ::testing::TestWithParam<delay_case> {};

TEST_P(Delay, WaitsNOverPointEightTicksWhereverTheCounterStands) {
    const delay_case& c = GetParam();
    fake_counter clock(c.counter.start, c.counter.step);
    detail::delay(clock, &clock, c.n);
    const std::uint64_t elapsed = clock.current() - c.counter.start;
    EXPECT_GE(elapsed, c.ticks);
    // Ends at the first reading past the target: at most one step over,
    // plus the step of the starting reading.
    EXPECT_LE(elapsed, c.ticks + 2 * c.counter.step);
    EXPECT_EQ(clock.sleeps.size(), c.sleeps ? 1u : 0u);
    // A long wait sleeps through its length and spins only its end.
    if (c.sleeps) {
        EXPECT_LE(clock.reads * c.counter.step, detail::spin_margin_ticks + 3 * c.counter.step);
    }

    fake_counter spinning(c.counter.start, c.counter.step);  // a counter that cannot sleep
    detail::delay(spinning, nullptr, c.n);
    EXPECT_GE(spinning.current() - c.counter.start, c.ticks);
}

// 3579 ticks (3 ms) is the longest wait that only spins.
INSTANTIATE_TEST_SUITE_P(Lengths, Delay,
                         ::testing::Values(delay_case{{0, 1}, 500, 625, false}, delay_case{{near_wrap, 1}, 500, 625, false},
                                           delay_case{{near_wrap, 7}, 500, 625, false},
                                           delay_case{{0, 1}, 2863, 3579, false}, delay_case{{0, 1}, 2864, 3580, true},
                                           delay_case{{near_wrap, 13}, 2864, 3580, true},
                                           delay_case{{0, 1}, 600000, 750000, true},
                                           delay_case{{near_wrap, 11}, 600000, 750000, true},
                                           delay_case{{0, 1}, 1, 2, false}, delay_case{{0, 1}, 0, 0, false},
                                           delay_case{{0, 1}, -5, 0, false}));

// Real time for the edges of the double frame, and not a tick longer: the
// closing wait sleeps at the thread's own priority.
TEST(Realtime, OnlyTheFrameRunsUnderFifo) {
    rlimit rtprio{};
    ::getrlimit(RLIMIT_RTPRIO, &rtprio);
    if (::geteuid() != 0 && rtprio.rlim_cur < 10) GTEST_SKIP() << "this user may not use real-time scheduling";
    rig r;
    ASSERT_EQ(r.control->Init(), 0);
    const std::uint8_t frame[] = {0xD5, 0xAA, 0x60, 0x00, 0xAD};
    r.control->SendToCM17(frame);
    ASSERT_EQ(r.log->events.size(), 160u);
    for (const auto& e : r.log->events) EXPECT_EQ(e.policy, SCHED_FIFO);
    EXPECT_EQ(r.clock->sleeps, std::vector<int>{SCHED_OTHER});
    EXPECT_EQ(::sched_getscheduler(0), SCHED_OTHER);
}

TEST(Realtime, ARefusalAsksTheHostOnceSaysSoOnceAndSendsAnyway) {
    const int result = testing::as_nobody([] {
        // With no real-time allowance.
        const rlimit none{0, 0};
        if (::setrlimit(RLIMIT_RTPRIO, &none) != 0) return 2;
        rig r;
        int asked = 0;
        std::vector<std::string> notes;
        r.control->realtime_hooks([&](std::int64_t tid, int priority) { return ++asked, tid == ::gettid() && priority == 10 && false; },
                                  [&](const std::string& why) { notes.push_back(why); });
        if (r.control->Init() != 0) return 3;
        std::string house = "A";
        r.control->Exec(house, "1", cmd_on);
        r.control->Exec(house, "1", cmd_off);
        const auto frames = testing::frames_of(testing::decode(r.log->events, r.clock->current()));
        const bool normal = std::all_of(r.log->events.begin(), r.log->events.end(),
                                        [](const testing::line_event& e) { return e.policy == SCHED_OTHER; });
        return frames.size() == 4 && normal && asked == 1 && notes.size() == 1 && notes[0].find("normal priority") != std::string::npos
                   ? 0
                   : 4;
    });
    EXPECT_EQ(result, 0);
}

// A reading of the counter between two readings of CLOCK_MONOTONIC.
struct bracketed {
    long long before_ns;
    std::uint64_t ticks;
    long long after_ns;
};

bracketed read_between(tick_counter& counter) {
    bracketed b;
    b.before_ns = monotonic_ns();
    b.ticks = counter.now();
    b.after_ns = monotonic_ns();
    return b;
}

// Every wait is counted in these ticks: a counter that ran at another rate
// (microseconds, say) would stretch or shorten every state of the frame.
TEST(SteadyCounter, CountsAtThePcTimerRate) {
    auto counter = make_steady_counter();
    for (int attempt = 0; attempt < 20; ++attempt) {
        const bracketed a = read_between(*counter);
        while (monotonic_ns() - a.after_ns < 30'000'000) {  // spins: the rate needs real time to pass
        }
        const bracketed b = read_between(*counter);
        const double longest = static_cast<double>(b.after_ns - a.before_ns) * 1e-9;
        const double shortest = static_cast<double>(b.before_ns - a.after_ns) * 1e-9;
        if (longest - shortest > 50e-6) continue;  // preempted between two readings: once more
        const double rate = static_cast<double>(b.ticks - a.ticks) / ((longest + shortest) / 2);
        EXPECT_NEAR(rate, static_cast<double>(ticks_per_second), 0.01 * static_cast<double>(ticks_per_second));
        return;
    }
    GTEST_SKIP() << "the machine never left the test two undisturbed readings in a row";
}

// The real counter's long wait holds no core: it sleeps, and spins only
// its last 1.5 ms.
TEST(SteadyCounter, ALongWaitSleepsThroughMostOfItsLength) {
    auto counter = make_steady_counter();
    const auto cpu = [] {
        timespec t{};
        ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
    };
    const double cpu_before = cpu();
    const long long wall_before = monotonic_ns();
    detail::delay(*counter, dynamic_cast<sleeping_counter*>(counter.get()), 24000);  // 30000 ticks, 25 ms
    EXPECT_GE(static_cast<double>(monotonic_ns() - wall_before), 25.1e6);
    EXPECT_LT(cpu() - cpu_before, 8e-3);
}

class SendToCM17Bounds : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(r.control->Init(), 0); }
    rig r;
};

TEST_F(SendToCM17Bounds, BytesAfterTheFifthAreNeverSent) {
    const std::uint8_t six[] = {0xD5, 0xAA, 0x60, 0x00, 0xAD, 0xFF};
    r.control->SendToCM17(six);
    auto rx = testing::decode(r.log->events, r.clock->current());
    EXPECT_EQ(rx.pulses().size(), 80u);
    EXPECT_EQ(rx.frames().size(), 2u);
    EXPECT_TRUE(rx.violations().empty());
}

TEST_F(SendToCM17Bounds, TooFewBytesFailAtTheFirstMissingOne) {
    const std::uint8_t three[] = {0xD5, 0xAA, 0x60};
    try {
        r.control->SendToCM17(three);
        FAIL() << "no error";
    } catch (const error& e) {
        EXPECT_EQ(e.number(), errc::subscript_out_of_range);
        EXPECT_EQ(e.description(), "Subscript out of range");
    }
    auto rx = testing::decode(r.log->events, r.clock->current());
    EXPECT_EQ(rx.pulses().size(), 24u);
    EXPECT_TRUE(rx.frames().empty());
}

TEST_F(SendToCM17Bounds, NoBytesFailBeforeAnyLineChange) {
    EXPECT_THROW(r.control->SendToCM17({}), error);
    EXPECT_TRUE(r.log->events.empty());
}

}  // namespace
}  // namespace kestrix
