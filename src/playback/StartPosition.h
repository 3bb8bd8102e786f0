#pragma once
// Where a render or a playback begins: at a time or at a tick. The
// output from there is the same frames that a render from the beginning
// would have there; the frames before it are rendered and dropped (the chip's
// state at a frame depends on everything it played before).
//
// Deliberate choices:
// - TIME is seconds ("75", "75.5") or minutes and seconds ("1:15.5"); the
//   seconds after a colon are below 60. Nothing else is taken (no signs, no
//   exponents), so a typo fails as a usage error.
// - A start past the end of the render is not an error: there is nothing to
//   write, and a front end says so and writes nothing (no empty file).

#include <cstdint>
#include <optional>
#include <string>

#include "playback/RenderPlan.h"

namespace playback {

// Where the output begins: a time or a tick of the piece (at most one set;
// neither: its beginning).
struct Start {
    std::optional<double> seconds;
    std::optional<int64_t> tick;
};

// Seconds of "SS[.s]" or "M:SS[.s]"; nothing when the text is neither.
std::optional<double> ParseStartTime(const std::string& text);

// The first frame of the output for `start` at `rate` (0 without one), at
// most `endFrame`. A source without ticks counts one frame a tick.
int64_t StartFrame(const Start& start, uint32_t rate, int32_t framesPerTick, int64_t endFrame);

// Whether a StartFrame leaves nothing to output: a start past the beginning
// at the plan's end. (A plan of no frames started at 0 is an empty output,
// asked for as a length of 0 seconds.)
inline bool StartsAtTheEnd(int64_t start, const RenderPlan& plan) {
    return start > 0 && start == plan.totalFrames;
}

}  // namespace playback
