#include "command_queue.h"

#include "port_wait.h"

namespace kestrix::bridge {

std::string request::text() const {
    if (resend) return cmd.to.text() + " RESEND";
    return level ? cmd.to.text() + " LEVEL " + std::to_string(level->value) + "%" : cmd.text();
}

command_queue::added command_queue::push(const request& r, steady::time_point now) {
    if (r.settles()) {
        for (auto it = waiting_.rbegin(); it != waiting_.rend(); ++it) {
            if (it->req.cmd.to.house != r.cmd.to.house) continue;
            if (!it->req.settles()) break;  // a DIM or BRIGHT of the house keeps its place
            if (it->req.cmd.to == r.cmd.to) {
                *it = {r, now};
                return added::merged;
            }
        }
    }
    if (waiting_.size() >= capacity_) return added::full;
    waiting_.push_back({r, now});
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

void transmitter_session::send(const planned& plan) {
    const request& req = plan.p.req;
    if (plan.cmd && !open_) {
        bool stopping = false;
        x10::port_wait wait;
        wait.deadline = plan.p.arrived + busy_wait_;
        wait.now = hooks_.now;
        wait.pause = [&](steady::duration d) { return !(stopping = !hooks_.pause(d)); };
        wait.held = [&](const std::string& why) { report_({report::kind::busy, req, errc::port_in_use, why, {}}); };
        control_.comport(port_);
        if (const std::int16_t result = x10::open_port(control_, wait); result != 0) {
            report_({report::kind::failed, req, result, stopping ? "not sent: the bridge is stopping" : control_.last_error(), {}});
            return;
        }
        open_ = true;
        hooks_.opened();
    }
    try {
        for (int i = 0; plan.cmd && i < plan.times; ++i)
            plan.frames ? x10::send_frames(control_, *plan.cmd, plan.frames) : x10::send(control_, *plan.cmd);
        report_({report::kind::sent, req, 0, {}, plan.level});
    } catch (const error& e) {
        report_({report::kind::failed, req, e.number(), e.description(), {}});
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
