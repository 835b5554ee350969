#include "dim_frames.h"

#include "numeric_text.h"

namespace kestrix {

int dim_frames(int percent, int steps) {
    const double frames = text::round_half_even(percent / 100.0 * steps);
    return frames < 1 ? 1 : static_cast<int>(frames);
}

int percent_for_frames(int frames) {
    for (int percent = 1; percent < 100; ++percent)
        if (dim_frames(percent) >= frames) return percent;
    return 100;
}

}  // namespace kestrix
