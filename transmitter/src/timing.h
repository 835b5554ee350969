// Busy-wait timing on a tick counter.
#pragma once

#include "kestrix/controlcm.h"

#include <cstdint>

namespace kestrix::detail {

// Spins until n / 0.8 ticks have passed since the first reading (625 ticks
// for 500). Never sleeps, yields or allocates: a pulse is only half a
// millisecond and the scheduler's granularity is coarser than that.
void delay(tick_counter& counter, std::int32_t n) noexcept;

// CLOCK_MONOTONIC scaled to the classic PC timer rate of 1,193,182 Hz.
class steady_counter final : public tick_counter {
public:
    std::uint64_t now() noexcept override;
};

}  // namespace kestrix::detail
