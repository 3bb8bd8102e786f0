#pragma once
// How long a render or a playback is: a fixed length in seconds, or the
// piece's passes (its loops) and a fade after them. For a song the passes
// are found by an engine of its own run ahead, so the engine that renders
// starts fresh, exactly as the plug-in's would; another source (a register
// log) says where its passes end itself.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "playback/FrameSource.h"
#include "playback/RenderPlan.h"
#include "song/Song.h"

namespace playback {

// The length asked for.
struct Length {
    uint32_t rate = 44100;              // output rate in Hz
    int32_t loops = 2;                  // passes of the piece before the fade
    std::optional<double> seconds;      // a fixed length instead of passes
    int64_t secondsFrom = 0;            // the frame that a fixed length counts from
    std::optional<double> fadeSeconds;  // unset: kDefaultFadeSeconds after passes, none for seconds
    double maxSeconds = 600.0;          // the longest render by passes; cut there
    std::optional<int64_t> maxTicks;    // a song's limit in ticks instead of maxSeconds

    static constexpr double kDefaultFadeSeconds = 5.0;
};

// Where a piece's passes end, in frames: each of the `loops` passes asked
// for, and the end of the last (nothing when it lies past the limit).
struct Passes {
    std::optional<int64_t> endFrame;
    std::vector<int64_t> passEndFrames;
    std::optional<int64_t> maxFrames;  // the limit, where the source set its own
};

struct Timing {
    RenderPlan plan;                     // plan.cut: the passes ran past maxSeconds
    std::vector<int64_t> passEndFrames;  // where the piece's passes end (none for seconds)
    int32_t passes = 0;                  // passes played before the fade (0 for seconds)
};

// The timing for `length`; `findPasses` is asked, with the frame limit,
// only for a length by passes.
Timing PlanTiming(const Length& length, const std::function<Passes(int64_t maxFrames)>& findPasses);

// The timing of a song for `length`, its passes found by the loop search.
// Nothing when `stop` stopped the search.
std::optional<Timing> PlanTiming(const std::shared_ptr<const song::Song>& song,
                                 const Length& length, const StopAsked& stop = {});

}  // namespace playback
