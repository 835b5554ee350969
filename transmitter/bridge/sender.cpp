#include "sender.h"

#include "kestrix/linux_serial.h"
#include "log.h"
#include "serial_ports.h"

#include <utility>

namespace kestrix::bridge {

std::unique_ptr<controlcm> make_control(const transmitter_config& t) {
    auto control = std::make_unique<controlcm>(
        t.device.empty() ? make_linux_serial_line() : make_linux_serial_line(t.device), make_steady_counter());
    // Under the packaged service LimitRTPRIO= grants real time; elsewhere
    // its lack is worth a line with -v, no more.
    control->realtime_hooks({}, [](const std::string& why) { log(level::debug, why); });
    return control;
}

sender::sender(std::unique_ptr<controlcm> control, const transmitter_config& t, std::shared_ptr<lamp_book> lamps,
               std::function<void()> wake)
    : wake_(std::move(wake)), lamps_(std::move(lamps)), control_(std::move(control)) {
    session_ = session_for(*control_, t);
    thread_ = std::thread([this] { run(); });
}

std::unique_ptr<transmitter_session> sender::session_for(controlcm& control, const transmitter_config& t) {
    return std::make_unique<transmitter_session>(
        control, t.port, std::chrono::seconds(t.busy_wait),
        transmitter_session::hooks{[] { return steady::now(); },
                                   [this](steady::duration d) {
                                       std::unique_lock lock(mutex_);
                                       return !changed_.wait_for(lock, d, [this] { return stopping_; });
                                   },
                                   [device = t.device_path(), first = true]() mutable {
                                       if (std::exchange(first, false) && ports::is_console(ports::machine::this_one(), device))
                                           log(level::warning, ports::console_warning(device) +
                                                                        "; name the transmitter's port in the configuration "
                                                                        "(kestrix-send --list)");
                                   }},
        [this](const report& r) {
            lamps_->reported(r);  // before the next request is planned
            {
                std::lock_guard lock(mutex_);
                reports_.push_back(r);
            }
            wake_();
        });
}

sender::~sender() {
    stop();
    join();
}

void sender::join() {
    if (thread_.joinable()) thread_.join();
}

command_queue::added sender::push(const request& r, const std::function<void()>& accepted) {
    std::lock_guard lock(mutex_);
    if (stopping_) return command_queue::added::full;
    const auto result = queue_.push(r, steady::now());
    if (result != command_queue::added::full && accepted) accepted();
    changed_.notify_one();
    return result;
}

std::vector<report> sender::take_reports() {
    std::lock_guard lock(mutex_);
    return std::exchange(reports_, {});
}

std::size_t sender::waiting() const {
    std::lock_guard lock(mutex_);
    return queue_.size();
}

void sender::repeats(std::map<address, int> extra) {
    std::lock_guard lock(mutex_);
    repeats_ = std::move(extra);
}

void sender::replace(std::unique_ptr<controlcm> control, const transmitter_config& t) {
    std::lock_guard lock(mutex_);
    next_control_ = std::move(control);
    next_ = t;
    changed_.notify_one();
}

std::size_t sender::stop() {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    changed_.notify_one();
    std::size_t dropped = 0;
    while (queue_.take()) ++dropped;
    return dropped;
}

planned sender::plan(const pending& p) {
    planned out = lamps_->plan(p);
    // A module that hears badly gets its ON and OFF again, never a step.
    if (out.cmd && out.cmd->switches()) {
        const auto extra = repeats_.find(p.req.cmd.to);
        out.times += extra == repeats_.end() ? 0 : extra->second;
    }
    return out;
}

void sender::run() {
    for (;;) {
        std::optional<planned> next;
        {
            std::unique_lock lock(mutex_);
            // Between bursts the port is free for other programs, and
            // another port can take over.
            if (queue_.size() == 0 && !stopping_) {
                lock.unlock();
                session_->rest();
                lock.lock();
            }
            if (next_control_ && queue_.size() == 0) {
                session_ = session_for(*next_control_, next_);
                control_ = std::move(next_control_);
            }
            changed_.wait(lock, [this] { return stopping_ || queue_.size() > 0 || next_control_; });
            if (stopping_) break;
            if (queue_.size() == 0) continue;
            next = plan(*queue_.take());
        }
        session_->send(*next);
    }
    session_->rest();
}

}  // namespace kestrix::bridge
