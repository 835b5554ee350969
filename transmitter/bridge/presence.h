// The bridge's place on the broker: the connection, kept up with a backoff
// (1 s, doubling to 60 s) while the broker is away; the greeting that keeps
// one bridge to a base topic; availability, with its last will. It tells
// the loop when to serve (connected, and no other bridge answered) and
// when to stop (another bridge came first, or holds our client id).
#pragma once

#include "config.h"
#include "log.h"
#include "loop_clock.h"
#include "mqtt_client.h"
#include "peers.h"
#include "topics.h"

#include <functional>
#include <memory>
#include <optional>

namespace kestrix::bridge {

class presence {
public:
    using clock = loop_clock::clock;
    using broker_maker = std::function<std::unique_ptr<mqtt::broker>(const mqtt::options&)>;

    presence(const mqtt_config& options, topics names, broker_maker make, loop_clock& time, std::string host);
    presence(const presence&) = delete;
    presence& operator=(const presence&) = delete;

    std::function<void()> on_serve;  // connected and alone: publish what the broker keeps
    std::function<void(const mqtt::message&)> on_message;
    std::function<void(const std::string& why)> on_step_down;  // an error for the log; the bridge must stop

    void connect();
    // Another broker, login or base topic: leaves the old one (under its
    // own topics), meets the new.
    void reopen(const mqtt_config& options, topics names);
    // Reconnects, starts serving and keeps the connection alive when due.
    void tick();
    std::optional<clock::time_point> next() const;  // when tick() has something to do
    void add_to(std::vector<pollfd>& fds) const;
    bool handle(const pollfd& ready);  // false: not the broker's
    bool connected() const { return connected_; }
    bool serving() const { return connected_ && peers_.serving(); }
    void publish(const std::string& topic, const std::string& payload, bool retain = true);
    // What a bridge that served says when it goes; then the connection closes.
    void leave();
    void close();

private:
    std::string where() const;
    void open();
    void connected(int rc, const std::string& why);
    void serve();
    void disconnected(const std::string& why);
    void trouble(const std::string& what);  // said once until connected again
    void message(const mqtt::message& m);
    void step_down(const std::string& why);

    mqtt_config options_;
    topics topics_;
    broker_maker make_;
    loop_clock& clock_;
    std::string host_;
    std::unique_ptr<mqtt::broker> mqtt_;
    peers peers_;
    bool connected_ = false;
    bool turned_down_ = false;  // the broker refused the last connection
    bool stopped_ = false;
    clock::time_point connected_at_{};
    int short_connections_ = 0;  // lost right after they were made, in a row
    bool said_taken_over_ = false;  // that another client uses our id, said once
    std::string last_trouble_;
    std::chrono::seconds backoff_{1};
    std::optional<clock::time_point> reconnect_at_;
    clock::time_point tick_at_{};
};

}  // namespace kestrix::bridge
