// The one thread that owns the control and the queue: it takes commands in
// arrival order and sends them while the main loop goes on serving the
// broker and the text port. What becomes of each command comes back as
// reports, and `wake` tells the main loop there are some.
#pragma once

#include "command_queue.h"
#include "config.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace kestrix::bridge {

// The control for the configured port: the Linux serial layer and the
// steady counter.
std::unique_ptr<controlcm> make_control(const transmitter_config& t);

class sender {
public:
    sender(std::unique_ptr<controlcm> control, const transmitter_config& t, std::function<void()> wake);
    // Finishes the command in flight; what still waits is dropped.
    ~sender();
    sender(const sender&) = delete;
    sender& operator=(const sender&) = delete;

    // `accepted` runs before the sending thread can take the command, and
    // only when the queue takes it.
    command_queue::added push(const command& c, const std::function<void()>& accepted = {});
    std::vector<report> take_reports();
    std::size_t waiting() const;
    // Stops taking commands; returns how many were still waiting.
    std::size_t stop();
    // Waits for the command in flight after stop().
    void join();

private:
    void run();

    std::unique_ptr<controlcm> control_;
    std::function<void()> wake_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    command_queue queue_;
    std::vector<report> reports_;
    bool stopping_ = false;
    transmitter_session session_;
    std::thread thread_;
};

}  // namespace kestrix::bridge
