#include "levels.h"

#include "dim_frames.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace kestrix::bridge::levels {
namespace {

// The frames a relative step of `p` sends: the library's own count.
int frames_for(percent p) { return p.value < 1 ? 0 : dim_frames(p.value, full.value); }

}  // namespace

steps step_of(percent p) { return {p.value <= 0 ? 0 : std::clamp(frames_for(p), 1, full.value)}; }

percent percent_of(steps s) { return {static_cast<int>(std::lround(s.value * 100.0 / full.value))}; }

steps after(std::optional<steps> before, const x10::command& c) {
    const steps on = before && before->value > 0 ? *before : full;
    switch (c.what) {
    case x10::action::off: return {0};
    case x10::action::on: return on;
    case x10::action::dim: return {std::max(1, on.value - frames_for({c.percent}))};
    case x10::action::bright: return {std::min(full.value, on.value + frames_for({c.percent}))};
    }
    return on;
}

std::optional<x10::command> reach(std::optional<steps> before, const x10::address& a, percent target) {
    const steps goal = step_of(target);
    if (before == goal) return std::nullopt;
    if (goal.value == 0) return x10::command{a, x10::action::off, 0};
    const steps from = before && before->value > 0 ? *before : full;
    if ((!before || before->value == 0) && goal == full) return x10::command{a, x10::action::on, 0};
    return x10::command{a, goal < from ? x10::action::dim : x10::action::bright,
                        percent_of({std::abs(goal.value - from.value)}).value};
}

}  // namespace kestrix::bridge::levels
