#include "command_queue.h"

#include "port_wait.h"

namespace kestrix::bridge {

command_queue::added command_queue::push(const command& c, steady::time_point now) {
    if (c.switches()) {
        for (auto it = waiting_.rbegin(); it != waiting_.rend(); ++it) {
            if (it->cmd.to.house != c.to.house) continue;
            if (!it->cmd.switches()) break;  // a DIM or BRIGHT of the house keeps its place
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

void transmitter_session::send(const pending& p) {
    if (!open_) {
        bool stopping = false;
        x10::port_wait wait;
        wait.deadline = p.arrived + busy_wait_;
        wait.now = hooks_.now;
        wait.pause = [&](steady::duration d) { return !(stopping = !hooks_.pause(d)); };
        wait.held = [&](const std::string& why) { report_({report::kind::busy, p.cmd, errc::port_in_use, why}); };
        control_.comport(port_);
        if (const std::int16_t result = x10::open_port(control_, wait); result != 0) {
            report_({report::kind::failed, p.cmd, result, stopping ? "not sent: the bridge is stopping" : control_.last_error()});
            return;
        }
        open_ = true;
        hooks_.opened();
    }
    try {
        x10::send(control_, p.cmd);
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
