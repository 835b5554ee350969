// How many DIM or BRIGHT frames a relative step of a percentage sends: the
// one rule that the control's Exec (its 8 steps) and the bridge's level
// planner (each module's own steps) both count by.
#pragma once

namespace kestrix {

// The frames that move a module which takes `steps` frames from full to its
// dimmest by `percent` (1 to 100): the nearest whole number, half to even,
// one at least.
int dim_frames(int percent, int steps = 8);

// The smallest percentage for which Exec (8 steps) sends `frames` frames,
// 1 to 8.
int percent_for_frames(int frames);

}  // namespace kestrix
