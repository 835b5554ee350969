// Waiting on a tick counter.
#pragma once

#include "kestrix/controlcm.h"

#include <cstdint>

namespace kestrix::detail {

// A wait of more than this sleeps through most of its length...
inline constexpr std::uint64_t sleep_from_ticks = 3 * ticks_per_second / 1000;  // 3 ms
// ...and spins this much of its end: more than a scheduler's usual lateness.
inline constexpr std::uint64_t spin_margin_ticks = 3 * ticks_per_second / 2000;  // 1.5 ms

// Waits until n / 0.8 ticks have passed since the first reading (625 ticks
// for 500): never less. Short waits spin: a pulse is half a millisecond,
// finer than a sleep can be trusted with. A long one sleeps on `sleeper`
// (when there is one) until shortly before its end and spins the rest.
// Never allocates.
void delay(tick_counter& counter, sleeping_counter* sleeper, std::int32_t n) noexcept;

// CLOCK_MONOTONIC scaled to the classic PC timer rate of 1,193,182 Hz.
class steady_counter final : public sleeping_counter {
public:
    std::uint64_t now() noexcept override;
    void sleep_until(std::uint64_t tick) noexcept override;
};

}  // namespace kestrix::detail
