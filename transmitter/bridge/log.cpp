#include "log.h"

#include <cstdio>

namespace kestrix::bridge {
namespace {
bool verbose_ = false;
std::function<void(level, const std::string&)> sink_;
}  // namespace

void set_verbose(bool verbose) { verbose_ = verbose; }

void set_log_sink(std::function<void(level, const std::string&)> sink) { sink_ = std::move(sink); }

void log(level l, const std::string& message) {
    if (l == level::debug && !verbose_) return;
    if (sink_) return sink_(l, message);
    std::fprintf(stderr, "<%d>%s\n", static_cast<int>(l), message.c_str());
    std::fflush(stderr);
}

void rate_limited_log::operator()(level l, const std::string& what) {
    const clock::time_point now = now_();
    if (now - since_ >= std::chrono::minutes(1)) {
        if (unlogged_) log(level::warning, std::to_string(unlogged_) + " more bad messages in that minute were not logged");
        since_ = now;
        logged_ = unlogged_ = 0;
    }
    if (logged_++ < 20) log(l, what);
    else ++unlogged_;
}

}  // namespace kestrix::bridge
