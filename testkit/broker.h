// A real mosquitto broker on a free loopback port, and an MQTT client of
// the test's own, for the bridge's tests and its benchmark. Nothing here
// sleeps: every wait is a poll() on a socket or a pipe, with a deadline.
#pragma once

#include "mqtt_client.h"
#include "testkit/child.h"
#include "testkit/scratch.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kestrix::testing {

// A port nothing listens on now.
int free_port();

class broker {
public:
    static bool available();  // the mosquitto program is installed
    // Started and accepting; throws if it will not start. With a login
    // ("user:password") it takes only that one.
    // With `tls`, a second listener speaks TLS with a certificate of its
    // own for 127.0.0.1, which ca_file() holds.
    explicit broker(const std::string& login = {}, bool tls = false);
    int port() const { return port_; }
    int tls_port() const { return tls_port_; }
    std::string ca_file() const { return folder_ / "cert.pem"; }
    // What mosquitto logged so far: each connection and how it ended.
    std::string log() const;

private:
    int port_ = 0;
    int tls_port_ = 0;
    scratch folder_{"kestrix-broker"};
    std::unique_ptr<child> mosquitto_;
};

// The test's own MQTT client: collects what arrives on its subscriptions.
class mqtt_listener {
public:
    mqtt_listener(int port, const std::vector<std::string>& patterns, const std::string& id = "listener");
    // The first message on `topic` (whose payload satisfies `wanted`, if
    // given) that no call took yet, waiting up to `seconds` for it.
    std::optional<mqtt::message> next(const std::string& topic, double seconds = 10,
                                             const std::function<bool(const mqtt::message&)>& wanted = {});
    void publish(const std::string& topic, const std::string& payload, bool retain = false);
    const std::vector<mqtt::message>& seen() const { return seen_; }

private:
    bool pump(double seconds);  // services the connection once, false on timeout
    std::unique_ptr<mqtt::client> client_;
    std::vector<mqtt::message> seen_;
    std::vector<bool> taken_;
    bool connected_ = false;
};

}  // namespace kestrix::testing
