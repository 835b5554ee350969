// A real mosquitto broker and the real kestrix-bridge for tests and the
// benchmark: the broker on a free loopback port, the bridge under the
// ioctl shim with a pseudo-terminal as its serial port, so that every DTR
// and RTS edge is recorded with its time. Nothing here sleeps: every wait
// is a poll() on a socket or a pipe, with a deadline.
#pragma once

#include "mqtt_client.h"
#include "support/pseudo_terminal.h"

#include <sys/types.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kestrix::bridge::testing {

// A port nothing listens on now.
int free_port();

class broker {
public:
    static bool available();  // the mosquitto program is installed
    broker();                 // started and accepting; throws if it will not start
    ~broker();
    broker(const broker&) = delete;
    broker& operator=(const broker&) = delete;
    int port() const { return port_; }

private:
    pid_t pid_ = -1;
    int port_ = 0;
    std::string folder_;
};

// The test's own MQTT client: collects what arrives on its subscriptions.
class mqtt_listener {
public:
    mqtt_listener(int port, const std::vector<std::string>& patterns, const std::string& id = "listener");
    // The first message on `topic` (whose payload satisfies `wanted`, if
    // given) that no call took yet, waiting up to `seconds` for it.
    std::optional<mqtt_message> next(const std::string& topic, double seconds = 10,
                                     const std::function<bool(const mqtt_message&)>& wanted = {});
    void publish(const std::string& topic, const std::string& payload, bool retain = false);
    const std::vector<mqtt_message>& seen() const { return seen_; }

private:
    bool pump(double seconds);  // services the connection once, false on timeout
    std::unique_ptr<mqtt_client> client_;
    std::vector<mqtt_message> seen_;
    std::vector<bool> taken_;
    bool connected_ = false;
};

using kestrix::testing::pseudo_terminal;

struct process_end {
    bool exited = false;
    int status = -1;  // exit status or signal
    std::string errors;
};

// A program under the shim, its line changes logged to `shim_log`, with
// the openings and closings of `port`.
class shimmed_process {
public:
    shimmed_process(const std::vector<std::string>& argv, const std::string& shim_log, const std::string& port);
    ~shimmed_process();
    pid_t pid() const { return pid_; }
    // Waits up to `seconds` for a line containing `text` on its standard
    // output or error (what came before is kept in output()).
    bool says(const std::string& text, double seconds = 10);
    process_end stop(int signal, double seconds = 20);  // signal 0: just wait
    const std::string& output() const { return output_; }

private:
    pid_t pid_ = -1;
    int out_ = -1;
    std::string output_;
    std::size_t searched_ = 0;
};

// Monotonic nanoseconds, as the shim stamps its log.
long long monotonic_ns();

}  // namespace kestrix::bridge::testing
