// The brightness the bridge assumes a lamp module is at (X10 sends nothing
// back), counted in the library's steps of 12.5 %: 0 is off, 1 to 8 on,
// 8 full. How each command moves it, and the command that reaches a level.
// Percentages (what people and Home Assistant say) and steps (what a
// module does) are types of their own, so that neither passes for the
// other. Pure: a table of cases says it all.
#pragma once

#include "command.h"

#include <compare>
#include <optional>

namespace kestrix::bridge {

// A brightness as people say it: 0 to 100.
struct percent {
    int value = 0;
    auto operator<=>(const percent&) const = default;
};

// A level as a module steps: 0 (off) to levels::full.
struct steps {
    int value = 0;
    auto operator<=>(const steps&) const = default;
};

namespace levels {

inline constexpr steps full{8};

// The step a percentage comes nearest to; anything above 0 is 1 at least.
steps step_of(percent p);
// The percentage of a step: 0, 13, 25, 38, 50, 63, 75, 88, 100.
percent percent_of(steps s);

// Where `c` leaves a lamp assumed at `before` (nothing: not known). Its
// ON, and the addressing ON of a DIM or BRIGHT, brings on at full a lamp
// that was off; one already on keeps its level.
steps after(std::optional<steps> before, const x10::command& c);

// What reaches `target` from `before`: from off or unknown, ON and DIM
// down from full; from a level, DIM or BRIGHT by the difference; 0 is OFF;
// nothing when the lamp is there already.
std::optional<x10::command> reach(std::optional<steps> before, const x10::address& a, percent target);

}  // namespace levels
}  // namespace kestrix::bridge
