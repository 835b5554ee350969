#include "timing.h"

#include <cerrno>
#include <chrono>
#include <ctime>

namespace kestrix::detail {

void delay(tick_counter& counter, sleeping_counter* sleeper, std::int32_t n) noexcept {
    const double target = n / 0.8;
    const std::uint64_t start = counter.now();
    if (sleeper && target > static_cast<double>(sleep_from_ticks))
        sleeper->sleep_until(start + static_cast<std::uint64_t>(target) - spin_margin_ticks);
    // Unsigned difference: correct across the counter's wrap.
    while (static_cast<double>(counter.now() - start) < target) {
    }
}

std::uint64_t steady_counter::now() noexcept {
    using namespace std::chrono;
    const auto ns = static_cast<std::uint64_t>(
        duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count());
    constexpr std::uint64_t billion = 1'000'000'000;
    // Split so that the product cannot overflow 64 bits.
    return ns / billion * ticks_per_second + ns % billion * ticks_per_second / billion;
}

void steady_counter::sleep_until(std::uint64_t tick) noexcept {
    // The first nanosecond at which now() reads `tick`, or one before.
    const std::uint64_t seconds = tick / ticks_per_second;
    const std::uint64_t ns = (tick % ticks_per_second) * 1'000'000'000 / ticks_per_second;
    timespec until{static_cast<time_t>(seconds), static_cast<long>(ns)};
    while (::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
    }
}

}  // namespace kestrix::detail

namespace kestrix {

std::unique_ptr<tick_counter> make_steady_counter() { return std::make_unique<detail::steady_counter>(); }

}  // namespace kestrix
