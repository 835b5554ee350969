#include "receiver.h"

namespace kestrix::sim {
namespace {

constexpr std::uint16_t header = 0xD5AA;
constexpr std::uint8_t footer = 0xAD;

int header_bit(std::size_t i) { return (header >> (15 - i)) & 1; }

const char* name_of(int s) {
    static const char* const names[] = {"standby", "DTR low", "RTS low", "both lines low"};
    return names[s];
}

}  // namespace

std::string hex(const std::array<std::uint8_t, 5>& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (std::uint8_t b : bytes) {
        if (!out.empty()) out += ' ';
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

receiver::receiver(std::uint64_t min_ticks, std::uint64_t timeout_ticks)
    : min_ticks_(min_ticks), timeout_ticks_(timeout_ticks) {}

void receiver::lines(std::uint64_t tick, bool dtr, bool rts) {
    state next = dtr ? (rts ? state::standby : state::rts_low) : (rts ? state::dtr_low : state::both_low);
    if (next == state_) {
        if (!started_) since_ = tick, started_ = true;
        return;
    }
    end_state(tick);
    if (state_ != state::standby && next != state::standby)
        violations_.push_back({tick, "no standby after the pulse: the lines went from " +
                                         std::string(name_of(static_cast<int>(state_))) + " to " +
                                         name_of(static_cast<int>(next))});
    state_ = next;
    since_ = tick;
    started_ = true;
}

void receiver::finish(std::uint64_t tick) {
    if (state_ != state::standby)
        violations_.push_back({tick, std::string(name_of(static_cast<int>(state_))) + " at the end"});
    end_state(tick);
    since_ = tick;
    if (!bits_.empty()) drop_partial(tick, "truncated frame");
}

void receiver::end_state(std::uint64_t tick) {
    const std::uint64_t ticks = tick - since_;
    if (started_ && ticks < min_ticks_)
        violations_.push_back({since_, std::string(name_of(static_cast<int>(state_))) + " lasted " +
                                           std::to_string(ticks) + " ticks, under the minimum of " +
                                           std::to_string(min_ticks_)});
    switch (state_) {
    case state::standby:
        if (!pulses_.empty() && started_ && pulses_.back().standby_ticks == 0)
            pulses_.back().standby_ticks = ticks;
        if (started_ && ticks >= timeout_ticks_ && !bits_.empty()) drop_partial(since_, "truncated frame");
        break;
    case state::dtr_low:
    case state::rts_low: {
        int bit = state_ == state::dtr_low ? 1 : 0;
        pulses_.push_back({bit, since_, ticks, 0});
        add_bit(bit, since_);
        break;
    }
    case state::both_low:
        violations_.push_back({since_, "both lines low: the transmitter resets"});
        bits_.clear();
        break;
    }
}

void receiver::add_bit(int bit, std::uint64_t tick) {
    bits_.push_back({bit, tick});
    // Hunt for the header: a bit that cannot begin a frame is dropped.
    for (std::size_t i = 0; i < bits_.size() && i < 16;) {
        if (bits_[i].first == header_bit(i)) {
            ++i;
            continue;
        }
        if (!hunting_) violations_.push_back({bits_.front().second, "bits outside any frame"});
        hunting_ = true;
        bits_.erase(bits_.begin());
        i = 0;
    }
    if (bits_.size() < 40) return;
    received_frame f{{}, bits_.front().second};
    for (std::size_t i = 0; i < 40; ++i)
        f.bytes[i / 8] = static_cast<std::uint8_t>((f.bytes[i / 8] << 1) | bits_[i].first);
    bits_.clear();
    hunting_ = false;
    if (f.bytes[4] == footer) frames_.push_back(f);
    else violations_.push_back({f.start, "frame ends in " + hex(f.bytes).substr(12) + " instead of AD"});
}

void receiver::drop_partial(std::uint64_t tick, const char* why) {
    violations_.push_back({tick, std::string(why) + ": " + std::to_string(bits_.size()) + " of 40 bits"});
    bits_.clear();
    hunting_ = false;
}

}  // namespace kestrix::sim
