// Where the bridge's loop takes its time from and how it waits for it: the
// steady clock and poll() in the program, a clock the test drives in tests.
#pragma once

#include <poll.h>

#include <algorithm>
#include <chrono>
#include <vector>

namespace kestrix::bridge {

class loop_clock {
public:
    using clock = std::chrono::steady_clock;
    virtual ~loop_clock() = default;
    virtual clock::time_point now() = 0;
    // poll() on `fds` until `until` at the latest; poll()'s result.
    virtual int wait(std::vector<pollfd>& fds, clock::time_point until) = 0;
};

class steady_loop_clock final : public loop_clock {
public:
    clock::time_point now() override { return clock::now(); }
    int wait(std::vector<pollfd>& fds, clock::time_point until) override {
        const auto ms = std::chrono::ceil<std::chrono::milliseconds>(until - clock::now()).count();
        return ::poll(fds.data(), fds.size(), static_cast<int>(std::max<long long>(ms, 0)));
    }
};

}  // namespace kestrix::bridge
