#include "command_queue.h"

#include <algorithm>

namespace kestrix::bridge {
namespace {

bool switches(const command& c) { return c.what == action::on || c.what == action::off; }

}  // namespace

command_queue::added command_queue::push(const command& c, steady::time_point now) {
    if (switches(c)) {
        for (auto it = waiting_.rbegin(); it != waiting_.rend(); ++it) {
            if (it->cmd.to.house != c.to.house) continue;
            if (!switches(it->cmd)) break;  // a DIM or BRIGHT of the house keeps its place
            if (it->cmd.to == c.to) {
                *it = {c, now};
                return added::merged;
            }
        }
    }
    if (waiting_.size() >= capacity_) return added::full;
    waiting_.push_back({c, now});
    return added::queued;
}

std::optional<pending> command_queue::take() {
    if (waiting_.empty()) return std::nullopt;
    pending p = waiting_.front();
    waiting_.pop_front();
    return p;
}

transmitter_session::transmitter_session(controlcm& control, std::int16_t port, std::chrono::seconds busy_wait,
                                         hooks on, std::function<void(const report&)> reporter)
    : control_(control), port_(port), busy_wait_(busy_wait), hooks_(std::move(on)), report_(std::move(reporter)) {}

bool transmitter_session::open(const pending& p) {
    const steady::time_point deadline = p.arrived + busy_wait_;
    bool said_busy = false;
    for (;;) {
        control_.comport(port_);
        const std::int16_t result = control_.Init();
        if (result == 0) {
            hooks_.opened();
            return open_ = true;
        }
        const steady::time_point now = hooks_.now();
        if (result != errc::port_in_use || now >= deadline) {
            report_({report::kind::failed, p.cmd, result, control_.last_error()});
            return false;
        }
        if (!said_busy) report_({report::kind::busy, p.cmd, result, control_.last_error()});
        said_busy = true;
        if (!hooks_.pause(std::min<steady::duration>(std::chrono::milliseconds(200), deadline - now))) {
            report_({report::kind::failed, p.cmd, result, "not sent: the bridge is stopping"});
            return false;
        }
    }
}

void transmitter_session::send(const pending& p) {
    if (!open_ && !open(p)) return;
    static const std::int16_t codes[] = {cmd_on, cmd_off, cmd_dim, cmd_bright};
    std::string house(1, p.cmd.to.house);
    try {
        control_.Exec(house, std::to_string(p.cmd.to.unit), codes[static_cast<int>(p.cmd.what)],
                      static_cast<std::int16_t>(p.cmd.percent));
        report_({report::kind::sent, p.cmd, 0, {}});
    } catch (const error& e) {
        report_({report::kind::failed, p.cmd, e.number(), e.description()});
        rest();  // an adapter that failed is opened afresh for the next command
    }
}

void transmitter_session::rest() {
    if (!open_) return;
    open_ = false;
    try {
        control_.ResetCom();
    } catch (const error&) {
        // The descriptor is gone either way; the next command opens anew.
    }
}

}  // namespace kestrix::bridge
