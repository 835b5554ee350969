// kestrix-bridge's log: one line a message on standard error, with the
// "<N>" level prefix the journal reads under systemd.
#pragma once

#include <chrono>
#include <functional>
#include <string>

namespace kestrix::bridge {

enum class level { error = 3, warning = 4, info = 6, debug = 7 };

void set_verbose(bool verbose);  // debug lines too
void log(level l, const std::string& message);
// Where log lines go instead of standard error (tests); empty: back there.
void set_log_sink(std::function<void(level, const std::string&)> sink);

// Bad input is logged, but a flood of it must not flood the journal: 20
// lines a minute at most, then how many more there were.
class rate_limited_log {
public:
    using clock = std::chrono::steady_clock;
    explicit rate_limited_log(std::function<clock::time_point()> now) : now_(std::move(now)) {}
    void operator()(level l, const std::string& what);

private:
    std::function<clock::time_point()> now_;
    clock::time_point since_{};
    int logged_ = 0, unlogged_ = 0;
};

}  // namespace kestrix::bridge
