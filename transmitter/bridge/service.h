// kestrix-bridge's main loop: one poll() over the broker's socket, the
// text port, the sending thread's wake-ups, the signals and the timers.
// What comes in is routed into requests for the sending thread; what it
// reports back becomes states and status on the broker.
#pragma once

#include "config.h"
#include "discovery.h"
#include "lamp_book.h"
#include "log.h"
#include "loop_clock.h"
#include "loop_signals.h"
#include "presence.h"
#include "routing.h"
#include "sender.h"
#include "status.h"
#include "text_port.h"
#include "topics.h"

#include <chrono>
#include <memory>
#include <optional>
#include <random>

namespace kestrix::bridge {

// Extra sends of ON and OFF, by unit.
std::map<address, int> repeats(const std::vector<unit_config>& units);
// Each unit's module.
std::map<address, levels::profile> modules(const std::vector<unit_config>& units);

// What a test puts in place of the real ones; each left empty is real.
struct service_parts {
    std::shared_ptr<loop_clock> clock;
    presence::broker_maker mqtt;
    std::function<std::unique_ptr<controlcm>(const transmitter_config&)> control;
};

class service {
public:
    // Throws std::runtime_error when it cannot start (the text port's
    // address taken, no memory for the broker's client).
    explicit service(config c, service_parts parts = {});
    ~service();
    service(const service&) = delete;
    service& operator=(const service&) = delete;

    // Runs until SIGTERM or SIGINT; returns the exit status: 0, or 2 when
    // another bridge serves its base topic or uses its client id.
    int run();
    // The same in its three parts: the first connection, one turn of the
    // loop (false once it has to stop), and the orderly end.
    void start();
    bool step();
    int finish();

private:
    using clock = loop_clock::clock;

    // A text port for `m` (none when it is off); throws when it cannot listen.
    std::unique_ptr<text_port> open_text_port(const mochad_config& m);
    void serve();  // online and alone: discovery, status, states, held requests
    void step_down(const std::string& why);
    void message(const mqtt::message& m);
    void line(int client, const std::string& text);
    void queue(const request& r, const std::string& from, int text_client = -1);
    void refuse(const request& r, const std::string& from, const std::string& why);
    void drop_held(const std::string& why);
    void reports();
    void reload();
    void leave_base(const mqtt_config& now);  // a reload moves away from it
    void publish_discovery();
    void publish_states();
    void publish_status(bool now = false);
    void publish_state(const address& a, const lamp& l);

    config config_;
    service_parts parts_;
    topics topics_;
    router router_;
    std::shared_ptr<lamp_book> lamps_ = std::make_shared<lamp_book>();
    bridge_status status_;
    std::shared_ptr<loop_clock> clock_;
    rate_limited_log bad_input_;
    std::unique_ptr<presence> broker_;
    std::unique_ptr<text_port> text_;
    // Blocked before the sending thread starts, so that it inherits the mask.
    loop_signals signals_;
    int wake_fd_ = -1;  // eventfd: the sending thread has reports
    std::unique_ptr<sender> sender_;
    // What comes over MQTT while it listens for another bridge: that one
    // would take it too. Under the queue's own rules, merged and bounded.
    command_queue held_;

    bool stopping_ = false;
    int exit_status_ = 0;
    std::optional<clock::time_point> discovery_at_;
    clock::time_point watchdog_at_;
    std::chrono::microseconds watchdog_{0};
    std::mt19937 random_{std::random_device{}()};
};

}  // namespace kestrix::bridge
