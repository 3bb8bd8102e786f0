#pragma once
// How long a render is and where its fade-out lies, in output frames, and
// the fade itself.

#include <cstdint>

namespace playback {

struct RenderPlan {
    int64_t totalFrames = 0;  // frames to write
    int64_t fadeStart = 0;    // first frame of the fade-out
    int64_t fadeFrames = 0;   // fade length; the fade ends with the last frame
    bool cut = false;         // the loops would have run past the length limit

    // A fixed length: exactly `frames` frames, the fade (if any) over the last
    // `fadeFrames` of them (all of them when the fade is longer).
    static RenderPlan Fixed(int64_t frames, int64_t fadeFrames);

    // By passes: play until `loopEndFrame` (where the wanted passes end), then
    // fade out over `fadeFrames` more frames. A render that would pass
    // `maxFrames` is cut there, its fade moved to end at the cut.
    static RenderPlan AfterLoops(int64_t loopEndFrame, int64_t fadeFrames, int64_t maxFrames);

    // No end and no fade: a piece played until the listener stops it.
    static RenderPlan Endless() { return Fixed(int64_t{1} << 62, 0); }

    // Scales the interleaved stereo frames [firstFrame, firstFrame + count) of
    // the render by the linear fade: full level before fadeStart, then
    // (end - f) / fadeFrames for frame f, reaching 1 / fadeFrames on the last.
    void ApplyFade(int16_t* frames, int32_t count, int64_t firstFrame) const;
};

// round(seconds * rate), the frame count of a duration.
int64_t SecondsToFrames(double seconds, uint32_t rate);

}  // namespace playback
