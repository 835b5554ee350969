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

sender::sender(std::unique_ptr<controlcm> control, const transmitter_config& t, std::function<void()> wake)
    : control_(std::move(control)),
      wake_(std::move(wake)),
      session_(*control_, t.port, std::chrono::seconds(t.busy_wait),
               {[] { return steady::now(); },
                [this](steady::duration d) {
                    std::unique_lock lock(mutex_);
                    return !changed_.wait_for(lock, d, [this] { return stopping_; });
                },
                [device = t.device_path(), first = true]() mutable {
                    if (std::exchange(first, false) && ports::is_console(ports::machine::this_one(), device))
                        log(level::warning, device + " is this machine's system console, not a transmitter; name the "
                                                     "transmitter's port in the configuration (kestrix-send --list)");
                }},
               [this](const report& r) {
                   {
                       std::lock_guard lock(mutex_);
                       reports_.push_back(r);
                   }
                   wake_();
               }),
      thread_([this] { run(); }) {}

sender::~sender() {
    stop();
    join();
}

void sender::join() {
    if (thread_.joinable()) thread_.join();
}

command_queue::added sender::push(const command& c, const std::function<void()>& accepted) {
    std::lock_guard lock(mutex_);
    if (stopping_) return command_queue::added::full;
    const auto result = queue_.push(c, steady::now());
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

std::size_t sender::stop() {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    changed_.notify_one();
    std::size_t dropped = 0;
    while (queue_.take()) ++dropped;
    return dropped;
}

void sender::run() {
    for (;;) {
        std::optional<pending> next;
        {
            std::unique_lock lock(mutex_);
            // Between bursts the port is free for other programs.
            if (queue_.size() == 0 && !stopping_) {
                lock.unlock();
                session_.rest();
                lock.lock();
            }
            changed_.wait(lock, [this] { return stopping_ || queue_.size() > 0; });
            if (stopping_) break;
            next = queue_.take();
        }
        session_.send(*next);
    }
    session_.rest();
}

}  // namespace kestrix::bridge
