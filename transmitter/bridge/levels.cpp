#include "levels.h"

#include "dim_frames.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace kestrix::bridge::levels {
namespace {

// The frames a relative step of a percentage sends: the library's own count.
int frames_for(int percent) { return percent < 1 ? 0 : dim_frames(percent); }

// What ON from off or unknown brings the lamp on at.
steps comes_on_at(const assumed& before, const profile& m) {
    if (before.level && before.level->value > 0) return *before.level;
    return m.resumes && before.last && before.last->value > 0 ? *before.last : steps{m.steps};
}

}  // namespace

steps step_of(percent p, const profile& m) {
    return {p.value <= 0 ? 0 : std::clamp(dim_frames(p.value, m.steps), 1, m.steps)};
}

percent percent_of(steps s, const profile& m) { return {static_cast<int>(std::lround(s.value * 100.0 / m.steps))}; }

steps after(const assumed& before, const x10::command& c, const profile& m) {
    const steps on = comes_on_at(before, m);
    switch (c.what) {
    case x10::action::off: return {0};
    case x10::action::on: return on;
    case x10::action::dim: return {std::max(1, on.value - frames_for(c.percent))};
    case x10::action::bright: return {std::min(m.steps, on.value + frames_for(c.percent))};
    }
    return on;
}

plan reach(const assumed& before, const x10::address& a, percent target, const profile& m) {
    const steps goal = step_of(target, m);
    if (before.level == goal) return {std::nullopt, 0, goal};
    if (goal.value == 0) return {x10::command{a, x10::action::off, 0}, 0, goal};
    const steps from = comes_on_at(before, m);
    if (from == goal) return {x10::command{a, x10::action::on, 0}, 0, goal};
    return {x10::command{a, goal < from ? x10::action::dim : x10::action::bright, 0}, std::abs(goal.value - from.value), goal};
}

}  // namespace kestrix::bridge::levels
