#include "levels.h"

#include <algorithm>
#include <cmath>

namespace kestrix::bridge::levels {
namespace {

// How many DIM or BRIGHT frames the library sends for a percentage.
int frames_for(int percent) {
    if (percent < 1) return 0;
    return std::max(1, static_cast<int>(std::nearbyint(percent * full / 100.0)));  // half to even, as it rounds
}

}  // namespace

int step_of(int percent) { return percent <= 0 ? 0 : std::clamp(frames_for(percent), 1, full); }

int percent_of(int step) { return static_cast<int>(std::lround(step * 100.0 / full)); }

int after(std::optional<int> before, const x10::command& c) {
    const int on = before && *before > 0 ? *before : full;
    switch (c.what) {
    case x10::action::off: return 0;
    case x10::action::on: return on;
    case x10::action::dim: return std::max(1, on - frames_for(c.percent));
    case x10::action::bright: return std::min(full, on + frames_for(c.percent));
    }
    return on;
}

std::optional<x10::command> reach(std::optional<int> before, const x10::address& a, int percent) {
    const int target = step_of(percent);
    if (before == target) return std::nullopt;
    if (target == 0) return x10::command{a, x10::action::off, 0};
    const int from = before && *before > 0 ? *before : full;
    if ((!before || *before == 0) && target == full) return x10::command{a, x10::action::on, 0};
    return x10::command{a, target < from ? x10::action::dim : x10::action::bright, percent_of(std::abs(target - from))};
}

}  // namespace kestrix::bridge::levels
