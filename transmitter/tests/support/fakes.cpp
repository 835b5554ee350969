#include "fakes.h"

#include <sched.h>

#include <fstream>
#include <sstream>

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

std::vector<std::string> frames_of(const sim::receiver& rx) {
    std::vector<std::string> out;
    for (const auto& f : rx.frames()) out.push_back(sim::hex(f.bytes));
    return out;
}

recording replay_shim_log(const std::string& path) {
    const auto ticks_of = [](long long ns) {
        const auto n = static_cast<std::uint64_t>(ns);
        return n / 1'000'000'000 * ticks_per_second + n % 1'000'000'000 * ticks_per_second / 1'000'000'000;
    };
    recording rec;
    std::ifstream in(path);
    std::string line, kind;
    std::uint64_t end = 0;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        long long ns = 0;
        int dtr = 1, rts = 1;
        fields >> ns >> kind >> dtr >> rts;
        end = ticks_of(ns);
        if (kind == "open") ++rec.opened;
        if (kind == "close") ++rec.closed;
        if (kind == "line") rec.edges_ns.push_back(ns);
        if (kind == "open" || kind == "line") rec.rx.lines(ticks_of(ns), dtr, rts);
    }
    rec.rx.finish(end);  // normally the last close
    return rec;
}

}  // namespace kestrix::testing
