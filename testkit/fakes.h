// Test doubles for the control's two seams: a counter that tests drive and a
// serial layer that records every line change with its tick.
#pragma once

#include "kestrix/controlcm.h"
#include "testkit/shim.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kestrix::testing {

// Every reading advances the counter by `step` ticks; a sleep jumps it to
// where the sleep ends, without sleeping.
class fake_counter final : public sleeping_counter {
public:
    explicit fake_counter(std::uint64_t start = 0, std::uint64_t step = 1) : value_(start), step_(step) {}
    std::uint64_t now() noexcept override { return ++reads, value_ += step_; }
    void sleep_until(std::uint64_t tick) noexcept override;
    std::uint64_t current() const { return value_; }
    // The scheduling policy of each sleep's thread (SCHED_OTHER, ...).
    std::vector<int> sleeps;
    std::uint64_t reads = 0;  // what a wait spent spinning

private:
    std::uint64_t value_;
    std::uint64_t step_;
};

struct line_event {
    std::uint64_t tick;
    bool dtr;
    bool rts;
    int policy;  // the scheduling policy of the thread that made the change
};

// What the recording line saw; shared so that it outlives the control.
struct line_log {
    std::vector<line_event> events;  // the lines after each change
    std::vector<std::string> calls;  // "port 3", "settings 4800,N,8,1", "open", "close"
    bool open = false;
    bool dtr = true;
    bool rts = true;
    int fail_open_with = 0;         // non-zero: open throws this number
    std::size_t fail_change_at = 0; // non-zero: the nth line change throws
    int fail_change_with = 8020;
};

class recording_line final : public serial_line {
public:
    recording_line(const fake_counter& clock, std::shared_ptr<line_log> log)
        : clock_(clock), log_(std::move(log)) {}
    void set_port(std::int16_t port) override;
    void set_settings(std::string_view settings) override;
    void open() override;
    void close() override;
    bool is_open() const override { return log_->open; }
    void set_dtr(bool high) override { change(&line_log::dtr, high); }
    void set_rts(bool high) override { change(&line_log::rts, high); }

private:
    void change(bool line_log::*line, bool high);
    const fake_counter& clock_;
    std::shared_ptr<line_log> log_;
};

// A control on a fake counter and a recording line, with both kept at hand.
struct rig {
    explicit rig(std::uint64_t start = 0, std::uint64_t step = 1);
    fake_counter* clock;
    std::shared_ptr<line_log> log = std::make_shared<line_log>();
    std::unique_ptr<controlcm> control;
};

// Replays recorded line changes into a receiver, ending at `end`.
sim::receiver decode(const std::vector<line_event>& events, std::uint64_t end);

}  // namespace kestrix::testing
