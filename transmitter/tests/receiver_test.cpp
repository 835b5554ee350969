// The receiver against hand-made waveforms: it is the oracle of the other
// tests and of the dry run, so it must itself catch what the device would.
#include "receiver.h"

#include <gtest/gtest.h>

namespace kestrix::sim {
namespace {

// Builds line changes: each bit a low pulse of `low` ticks then `standby`.
struct wave {
    receiver rx;
    std::uint64_t t = 1000;

    void bit(int b, std::uint64_t low = 625, std::uint64_t standby = 625) {
        rx.lines(t, b == 0, b == 1);
        t += low;
        rx.lines(t, true, true);
        t += standby;
    }
    void byte(std::uint8_t v) {
        for (int b = 7; b >= 0; --b) bit((v >> b) & 1);
    }
    void frame(std::array<std::uint8_t, 5> f) {
        for (auto v : f) byte(v);
    }
    bool has(const std::string& words) const {
        for (const auto& v : rx.violations())
            if (v.what.find(words) != std::string::npos) return true;
        return false;
    }
};

TEST(Receiver, DecodesACorrectFrameWithNothingToReport) {
    wave w;
    w.frame({0xD5, 0xAA, 0x60, 0x08, 0xAD});
    w.rx.finish(w.t + 750000);
    ASSERT_EQ(w.rx.frames().size(), 1u);
    EXPECT_EQ(w.rx.frames()[0].bytes, (std::array<std::uint8_t, 5>{0xD5, 0xAA, 0x60, 0x08, 0xAD}));
    EXPECT_EQ(w.rx.frames()[0].start, 1000u);
    EXPECT_TRUE(w.rx.violations().empty());
    EXPECT_EQ(w.rx.pulses().back().standby_ticks, 625u + 750000u);
}

TEST(Receiver, ReportsAShortPulseAndAShortStandby) {
    wave w;
    w.byte(0xD5);
    w.bit(1, 300);      // a pulse too short
    w.bit(0, 625, 100); // a standby too short
    w.rx.finish(w.t);
    EXPECT_TRUE(w.has("DTR low lasted 300 ticks"));
    EXPECT_TRUE(w.has("standby lasted 100 ticks"));
}

TEST(Receiver, BothLinesLowResetsTheFrameInProgress) {
    wave w;
    w.byte(0xD5);
    w.rx.lines(w.t, false, true);
    w.rx.lines(w.t + 700, false, false);  // RTS falls while DTR is still low
    w.rx.lines(w.t + 1400, true, true);
    w.t += 2100;
    w.frame({0xD5, 0xAA, 0x70, 0x00, 0xAD});
    w.rx.finish(w.t);
    EXPECT_TRUE(w.has("both lines low"));
    EXPECT_TRUE(w.has("no standby after the pulse"));
    ASSERT_EQ(w.rx.frames().size(), 1u);  // the complete frame after the reset still counts
    EXPECT_EQ(w.rx.frames()[0].bytes[2], 0x70);
}

TEST(Receiver, ATruncatedFrameIsReportedAtTheLongPauseAndAtTheEnd) {
    wave w;
    w.byte(0xD5);
    w.byte(0xAA);
    w.t += frame_timeout_ticks;
    w.frame({0xD5, 0xAA, 0x60, 0x00, 0xAD});
    w.byte(0xD5);
    w.rx.finish(w.t);
    EXPECT_EQ(w.rx.frames().size(), 1u);
    ASSERT_EQ(w.rx.violations().size(), 2u);
    EXPECT_EQ(w.rx.violations()[0].what, "truncated frame: 16 of 40 bits");
    EXPECT_EQ(w.rx.violations()[1].what, "truncated frame: 8 of 40 bits");
}

TEST(Receiver, HuntsForTheHeaderAndChecksTheFooter) {
    wave w;
    w.bit(0);
    w.bit(0);
    w.frame({0xD5, 0xAA, 0x60, 0x00, 0xAC});
    w.frame({0xD5, 0xAA, 0x60, 0x00, 0xAD});
    w.rx.finish(w.t);
    EXPECT_TRUE(w.has("bits outside any frame"));
    EXPECT_TRUE(w.has("frame ends in AC instead of AD"));
    ASSERT_EQ(w.rx.frames().size(), 1u);
    EXPECT_EQ(w.rx.frames()[0].bytes[4], 0xAD);
}

}  // namespace
}  // namespace kestrix::sim
