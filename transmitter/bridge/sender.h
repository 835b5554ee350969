// The one thread that owns the control and the queue: it takes requests in
// arrival order, has each planned from what the lamp book assumes of its
// lamp when its turn comes, and sends, while the main loop goes on serving the broker
// and the text port. What becomes of each request comes back as reports,
// and `wake` tells the main loop there are some.
#pragma once

#include "command_queue.h"
#include "config.h"
#include "lamp_book.h"

#include <condition_variable>
#include <map>
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
    // What the lamps are assumed at plans each level when its turn comes,
    // and hears what the frames left before the next one is planned.
    sender(std::unique_ptr<controlcm> control, const transmitter_config& t, std::shared_ptr<lamp_book> lamps,
           std::function<void()> wake);
    // Finishes the request in flight; what still waits is dropped.
    ~sender();
    sender(const sender&) = delete;
    sender& operator=(const sender&) = delete;

    // `accepted` runs before the sending thread can take the request, and
    // only when the queue takes it.
    command_queue::added push(const request& r, const std::function<void()>& accepted = {});
    std::vector<report> take_reports();
    std::size_t waiting() const;
    // Extra sends of ON and OFF, by unit.
    void repeats(std::map<address, int> extra);
    // Another port: taken from the next burst on.
    void replace(std::unique_ptr<controlcm> control, const transmitter_config& t);
    // Stops taking requests; returns how many were still waiting.
    std::size_t stop();
    // Waits for the request in flight after stop().
    void join();

private:
    void run();
    planned plan(const pending& p);  // with the lock held
    std::unique_ptr<transmitter_session> session_for(controlcm& control, const transmitter_config& t);

    std::function<void()> wake_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    command_queue queue_;
    std::vector<report> reports_;
    std::shared_ptr<lamp_book> lamps_;
    std::map<address, int> repeats_;
    bool stopping_ = false;
    std::unique_ptr<controlcm> control_, next_control_;
    transmitter_config next_;
    std::unique_ptr<transmitter_session> session_;
    std::thread thread_;
};

}  // namespace kestrix::bridge
