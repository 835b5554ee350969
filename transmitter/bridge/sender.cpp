#include "sender.h"

#include <utility>

namespace kestrix::bridge {

sender::sender(std::unique_ptr<controlcm> control, std::int16_t port, std::chrono::seconds busy_wait,
               std::size_t capacity, std::function<void()> wake, std::function<void()> opened)
    : control_(std::move(control)),
      wake_(std::move(wake)),
      queue_(capacity),
      session_(*control_, port, busy_wait,
               {[] { return steady::now(); },
                [this](steady::duration d) {
                    std::unique_lock lock(mutex_);
                    return !changed_.wait_for(lock, d, [this] { return stopping_; });
                },
                std::move(opened)},
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
