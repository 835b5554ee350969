// What <base>/bridge/status says: whether the last command went out, the
// error that stopped one, how many were sent and refused.
#pragma once

#include "command_queue.h"
#include "config.h"

#include <cstdint>
#include <string>

namespace kestrix::bridge {

class bridge_status {
public:
    explicit bridge_status(const transmitter_config& transmitter) : transmitter_(transmitter) {}

    // What the sending thread reported.
    void update(const report& r);
    // A command the full queue turned away.
    void refused() { ++refused_; }
    // As JSON, with the commands waiting now.
    std::string json(std::size_t waiting) const;

private:
    const transmitter_config& transmitter_;
    std::string state_ = "ok";
    int error_ = 0;
    std::string error_text_;
    std::string last_error_;  // JSON of the last failure, or empty
    std::uint64_t sent_ = 0, refused_ = 0;
};

}  // namespace kestrix::bridge
