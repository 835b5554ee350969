#include "testkit/fakes.h"

#include <sched.h>


namespace kestrix::testing {

void fake_counter::sleep_until(std::uint64_t tick) noexcept {
    sleeps.push_back(::sched_getscheduler(0));
    if (tick - value_ < (std::uint64_t{1} << 63)) value_ = tick;  // only forward, across the wrap too
}

void recording_line::set_port(std::int16_t port) { log_->calls.push_back("port " + std::to_string(port)); }

void recording_line::set_settings(std::string_view settings) {
    log_->calls.push_back("settings " + std::string(settings));
}

void recording_line::open() {
    log_->calls.push_back("open");
    if (log_->fail_open_with) throw error(log_->fail_open_with, "cannot open");
    log_->open = true;
}

void recording_line::close() {
    log_->calls.push_back("close");
    log_->open = false;
}

void recording_line::change(bool line_log::*line, bool high) {
    if (!log_->open) throw error(errc::port_not_open, "The port is not open");
    if (log_->fail_change_at && log_->events.size() + 1 == log_->fail_change_at)
        throw error(log_->fail_change_with, "Line change failed");
    (*log_).*line = high;
    log_->events.push_back({clock_.current(), log_->dtr, log_->rts, ::sched_getscheduler(0)});
}

rig::rig(std::uint64_t start, std::uint64_t step) {
    auto counter = std::make_unique<fake_counter>(start, step);
    clock = counter.get();
    control = std::make_unique<controlcm>(std::make_unique<recording_line>(*clock, log), std::move(counter));
}

sim::receiver decode(const std::vector<line_event>& events, std::uint64_t end) {
    sim::receiver rx;
    for (const line_event& e : events) rx.lines(e.tick, e.dtr, e.rts);
    rx.finish(end);
    return rx;
}

}  // namespace kestrix::testing
