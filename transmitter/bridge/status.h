// What <base>/bridge/status says: whether the last command went out, the
// error that stopped one, how many were sent and refused, and which bridge
// says so. It goes out when it changed, at most a few times a second.
#pragma once

#include "command_queue.h"
#include "config.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace kestrix::bridge {

class bridge_status {
public:
    using clock = std::chrono::steady_clock;
    // A burst of commands does not become a burst of status messages.
    static constexpr std::chrono::milliseconds gap{250};

    bridge_status(transmitter_config transmitter, std::string client_id, std::string host)
        : transmitter_(std::move(transmitter)), client_id_(std::move(client_id)), host_(std::move(host)) {}

    const std::string& host() const { return host_; }
    void rename(std::string client_id) { client_id_ = std::move(client_id); }
    void transmitter(transmitter_config t) { transmitter_ = std::move(t); }  // another port
    // What the sending thread reported.
    void update(const report& r);
    // A request the full queue turned away.
    void refused() { ++refused_; }
    // As JSON, with the requests waiting now.
    std::string json(std::size_t waiting) const;

    // What to publish at `now`: nothing when it is what went out last, or
    // when it must wait until due().
    std::optional<std::string> take(const std::string& json, clock::time_point now);
    std::optional<clock::time_point> due() const { return due_; }
    // A new connection: the next status goes out at once.
    void forget() { published_.clear(), due_.reset(), last_ = {}; }

private:
    transmitter_config transmitter_;
    std::string client_id_, host_;
    std::string state_ = "ok";
    int error_ = 0;
    std::string error_text_;
    std::string last_error_;  // JSON of the last failure, or empty
    std::uint64_t sent_ = 0, refused_ = 0;
    std::string published_;
    clock::time_point last_{};
    std::optional<clock::time_point> due_;
};

}  // namespace kestrix::bridge
