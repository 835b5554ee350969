// The brightness the bridge assumes a lamp module is at (X10 sends nothing
// back), counted in the library's steps of 12.5 %: 0 is off, 1 to 8 on,
// 8 full. How each command moves it, and the command that reaches a level.
// Pure: a table of cases says it all.
#pragma once

#include "command.h"

#include <optional>

namespace kestrix::bridge::levels {

inline constexpr int full = 8;

// The step a percentage comes nearest to; anything above 0 is 1 at least.
int step_of(int percent);
// The percentage of a step: 0, 13, 25, 38, 50, 63, 75, 88, 100.
int percent_of(int step);

// Where `c` leaves a lamp assumed at `before` (nothing: not known). Its
// ON, and the addressing ON of a DIM or BRIGHT, brings on at full a lamp
// that was off; one already on keeps its level.
int after(std::optional<int> before, const x10::command& c);

// What reaches `percent` from `before`: from off or unknown, ON and DIM
// down from full; from a level, DIM or BRIGHT by the difference; 0 is OFF;
// nothing when the lamp is there already.
std::optional<x10::command> reach(std::optional<int> before, const x10::address& a, int percent);

}  // namespace kestrix::bridge::levels
