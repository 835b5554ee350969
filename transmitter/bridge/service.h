// kestrix-bridge's main loop: one poll() over the broker's socket, the
// text port, the sending thread's wake-ups, the signals and the timers.
// What comes in is routed into commands for the sending thread; what it
// reports back becomes states and status on the broker.
#pragma once

#include "config.h"
#include "discovery.h"
#include "log.h"
#include "loop_clock.h"
#include "mqtt_client.h"
#include "routing.h"
#include "sender.h"
#include "status.h"
#include "stop_signals.h"
#include "text_port.h"
#include "topics.h"

#include <chrono>
#include <memory>
#include <optional>
#include <random>

namespace kestrix::bridge {

// What a test puts in place of the real ones; each left empty is real.
struct service_parts {
    std::shared_ptr<loop_clock> clock;
    std::function<std::unique_ptr<bridge::broker>(const mqtt_options&)> mqtt;
    std::function<std::unique_ptr<controlcm>()> control;
};

class service {
public:
    // Throws std::runtime_error when it cannot start (the text port's
    // address taken, no memory for the broker's client).
    explicit service(config c, service_parts parts = {});
    ~service();
    service(const service&) = delete;
    service& operator=(const service&) = delete;

    // Runs until SIGTERM or SIGINT; returns the exit status.
    int run();
    // The same in its three parts: the first connection, one turn of the
    // loop (false once a signal asked it to stop), and the orderly end.
    void start();
    bool step();
    int finish();

private:
    using clock = loop_clock::clock;

    void connect();
    void connected(int rc, const std::string& why);
    void disconnected(const std::string& why);
    void broker_trouble(const std::string& what);  // said once until connected again
    std::string where() const;
    void message(const mqtt_message& m);
    void line(int client, const std::string& text);
    void queue(const command& c, const std::string& from, int text_client = -1);
    void reports();
    void publish_discovery();
    void publish_states();
    void publish_status();

    config config_;
    topics topics_;
    router router_;
    bridge_status status_;
    std::shared_ptr<loop_clock> clock_;
    rate_limited_log bad_input_;
    discovery_book book_;
    std::unique_ptr<broker> mqtt_;
    std::unique_ptr<text_port> text_;
    // Blocked before the sending thread starts, so that it inherits the mask.
    stop_signals signals_;
    int wake_fd_ = -1;  // eventfd: the sending thread has reports
    std::unique_ptr<sender> sender_;

    bool connected_ = false;
    bool turned_down_ = false;  // the broker refused the last connection
    bool stopping_ = false;
    std::string last_trouble_;
    std::chrono::seconds backoff_{1};
    std::optional<clock::time_point> reconnect_at_, discovery_at_;
    clock::time_point tick_at_, watchdog_at_;
    std::chrono::microseconds watchdog_{0};
    std::mt19937 random_{std::random_device{}()};
};

}  // namespace kestrix::bridge
