// The brightness the bridge assumes a lamp module is at (X10 sends nothing
// back), counted in that module's steps: 0 is off, then 1 up to its steps,
// full (8 by default, the library's 12.5 %). How each command moves it,
// and the frames that reach a level.
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

// One module through one transceiver: the DIM frames from full to its
// dimmest, and whether ON from off brings it back at its last level (soft
// start) rather than full.
struct profile {
    int steps = 8;
    bool resumes = false;
    bool operator==(const profile&) const = default;
};

// What a lamp is assumed at: its level (nothing: not known), and the level
// it had when it last went off, which a module that resumes comes back at.
struct assumed {
    std::optional<steps> level;
    std::optional<steps> last;
};

inline constexpr steps full{8};  // of the default profile, the library's own

// The step a percentage comes nearest to; anything above 0 is 1 at least.
steps step_of(percent p, const profile& m = {});
// The percentage of a step: on 8 steps 0, 13, 25, 38, 50, 63, 75, 88, 100.
percent percent_of(steps s, const profile& m = {});

// Where `c` leaves a lamp assumed at `before`. Its ON, and the addressing
// ON of a DIM or BRIGHT, brings a lamp that was off (or not known) on at
// full, or at its last level for a module that resumes; one already on
// keeps its level. A relative step moves it by the frames the library
// sends for the percentage.
steps after(const assumed& before, const x10::command& c, const profile& m = {});

// What reaches `target` from `before`: from off or unknown, ON (full, or
// the last level) and DIM or BRIGHT by the difference; from a level, DIM
// or BRIGHT by it; 0 is OFF; nothing when the lamp is there already.
struct plan {
    std::optional<x10::command> cmd;  // for DIM and BRIGHT, its unit
    int frames = 0;                   // DIM or BRIGHT: how many
    steps reached;
};
plan reach(const assumed& before, const x10::address& a, percent target, const profile& m = {});

}  // namespace levels
}  // namespace kestrix::bridge
