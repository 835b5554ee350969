#include "timing.h"

#include <chrono>

namespace kestrix::detail {

void delay(tick_counter& counter, std::int32_t n) noexcept {
    const double target = n / 0.8;
    const std::uint64_t start = counter.now();
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

}  // namespace kestrix::detail

namespace kestrix {

std::unique_ptr<tick_counter> make_steady_counter() { return std::make_unique<detail::steady_counter>(); }

}  // namespace kestrix
