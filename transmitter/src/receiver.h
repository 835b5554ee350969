// What an X10 Firecracker makes of the DTR/RTS lines: a 1 bit for each low
// pulse on DTR, a 0 bit for each low pulse on RTS, standby with both high,
// both low a reset. It checks every state against the device's minimum and
// assembles bits into frames by their D5 AA header and AD footer. Tests use
// it as the oracle for the waveform; the dry run of kestrix-send shows users
// the same view.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace kestrix::sim {

// 0.5 ms at 1,193,182 ticks per second, rounded up.
inline constexpr std::uint64_t min_state_ticks = 597;
// A standby this long (50 ms) ends any frame in progress.
inline constexpr std::uint64_t frame_timeout_ticks = 59'659;

struct pulse {
    int bit;                     // 1: DTR low, 0: RTS low
    std::uint64_t start;         // tick of the falling edge
    std::uint64_t low_ticks;     // how long the line stayed low
    std::uint64_t standby_ticks; // standby after it, until the next change or the end
};

struct received_frame {
    std::array<std::uint8_t, 5> bytes;
    std::uint64_t start;  // tick of its first falling edge
};

struct violation {
    std::uint64_t tick;
    std::string what;
};

// "D5 AA 60 00 AD" for a frame.
std::string hex(const std::array<std::uint8_t, 5>& bytes);

class receiver {
public:
    explicit receiver(std::uint64_t min_ticks = min_state_ticks,
                      std::uint64_t timeout_ticks = frame_timeout_ticks);

    // The lines as they stand from `tick` on (true = high). The receiver
    // assumes both lines high until the first call.
    void lines(std::uint64_t tick, bool dtr, bool rts);
    // Observation ends at `tick`: closes the last state and any partial frame.
    void finish(std::uint64_t tick);

    const std::vector<pulse>& pulses() const { return pulses_; }
    const std::vector<received_frame>& frames() const { return frames_; }
    const std::vector<violation>& violations() const { return violations_; }

private:
    enum class state { standby, dtr_low, rts_low, both_low };
    void end_state(std::uint64_t tick);
    void add_bit(int bit, std::uint64_t tick);
    void drop_partial(std::uint64_t tick, const char* why);

    std::uint64_t min_ticks_;
    std::uint64_t timeout_ticks_;
    state state_ = state::standby;
    std::uint64_t since_ = 0;
    bool started_ = false;  // the first state's start is unknown
    std::vector<std::pair<int, std::uint64_t>> bits_;  // bit and the tick it began
    bool hunting_ = false;  // dropping bits until a header shows up
    std::vector<pulse> pulses_;
    std::vector<received_frame> frames_;
    std::vector<violation> violations_;
};

}  // namespace kestrix::sim
