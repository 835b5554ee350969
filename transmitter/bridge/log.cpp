#include "log.h"

#include <cstdio>

namespace kestrix::bridge {
namespace {
bool verbose_ = false;
}

void set_verbose(bool verbose) { verbose_ = verbose; }

void log(level l, const std::string& message) {
    if (l == level::debug && !verbose_) return;
    std::fprintf(stderr, "<%d>%s\n", static_cast<int>(l), message.c_str());
    std::fflush(stderr);
}

}  // namespace kestrix::bridge
