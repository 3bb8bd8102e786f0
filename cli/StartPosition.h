#pragma once
// Where a render or a playback begins: --start TIME and --start-tick N. The
// output from there is the same frames that a render from the beginning
// would have there; the frames before it are rendered and dropped (the chip's
// state at a frame depends on everything it played before).
//
// Deliberate choices:
// - TIME is seconds ("75", "75.5") or minutes and seconds ("1:15.5"); the
//   seconds after a colon are below 60. Nothing else is taken (no signs, no
//   exponents), so a typo fails as a usage error.
// - A start past the end of the render is not an error: there is nothing to
//   write, and the command says so and writes nothing (no empty file).

#include <cstdint>
#include <optional>
#include <string>

#include "RenderPlan.h"
#include "engine/Engine.h"
#include "options/Options.h"

namespace cli {

// Seconds of "SS[.s]" or "M:SS[.s]"; nothing when the text is neither.
std::optional<double> ParseStartTime(const std::string& text);

// The first frame of the output for the options' --start or --start-tick
// (0 without either), at most `endFrame`.
int64_t StartFrame(const MixOptions& mix, int32_t framesPerTick, int64_t endFrame);

// Whether a StartFrame leaves nothing to output: a start past the beginning
// at the plan's end. (A plan of no frames started at 0 is an empty output,
// asked for with --seconds 0.)
inline bool StartsAtTheEnd(int64_t start, const RenderPlan& plan) {
    return start > 0 && start == plan.totalFrames;
}

// Runs a fresh engine ahead to `frame` in steps, so that Ctrl-C stops it
// within a moment. False when interrupted.
bool RunAhead(engine::Engine& engine, int64_t frame);

}  // namespace cli
