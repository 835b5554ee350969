// kestrix-bridge's main loop: one poll() over the broker's socket, the
// text port, the sending thread's wake-ups, the signals and the timers.
// Words come in, become commands for the sending thread, and what it
// reports back becomes states and status on the broker.
#pragma once

#include "config.h"
#include "log.h"
#include "mqtt_client.h"
#include "sender.h"
#include "text_port.h"

#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <set>

namespace kestrix::bridge {

class service {
public:
    // Throws std::runtime_error when it cannot start (the text port's
    // address taken, no memory for the broker's client).
    explicit service(config c);
    ~service();
    service(const service&) = delete;
    service& operator=(const service&) = delete;

    // Runs until SIGTERM or SIGINT; returns the exit status.
    int run();

private:
    using clock = std::chrono::steady_clock;

    // The broker.
    void connect();
    void connected(int rc, const std::string& why);
    void disconnected(const std::string& why);
    void message(const mqtt_message& m);
    void publish_discovery();
    void publish_status();
    void publish_state(const address& a);
    // Logs a broker problem once until the connection is made again.
    void broker_trouble(const std::string& what);

    // Bad input is logged, but a flood of it must not flood the journal:
    // 20 lines a minute at most, then how many more there were.
    void bad_input(level l, const std::string& what);

    // Commands.
    void queue(const command& c, const std::string& from, int text_client = -1);
    void text_line(int client, const std::string& line);
    void reports();

    void wait_once();
    void stop();

    config config_;
    std::unique_ptr<mqtt_client> mqtt_;
    std::unique_ptr<text_port> text_;
    int wake_fd_ = -1;    // eventfd: the sending thread has reports
    int signal_fd_ = -1;  // SIGTERM, SIGINT
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

    std::map<address, bool> states_;  // assumed: X10 sends nothing back
    std::string status_ = "ok";
    int error_ = 0;
    std::string error_text_;
    std::string last_error_;  // JSON of the last failure, or empty
    std::uint64_t sent_ = 0, refused_ = 0;
    clock::time_point bad_since_{};
    int bad_logged_ = 0, bad_unlogged_ = 0;
};

}  // namespace kestrix::bridge
