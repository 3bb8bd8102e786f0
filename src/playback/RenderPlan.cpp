#include "playback/RenderPlan.h"

#include <algorithm>
#include <cmath>

namespace playback {

RenderPlan RenderPlan::Fixed(int64_t frames, int64_t fadeFrames) {
    RenderPlan plan;
    plan.totalFrames = frames;
    plan.fadeFrames = std::min(fadeFrames, frames);
    plan.fadeStart = frames - plan.fadeFrames;
    return plan;
}

RenderPlan RenderPlan::AfterLoops(int64_t loopEndFrame, int64_t fadeFrames, int64_t maxFrames) {
    RenderPlan plan;
    if (loopEndFrame + fadeFrames <= maxFrames) {
        plan.totalFrames = loopEndFrame + fadeFrames;
        plan.fadeStart = loopEndFrame;
        plan.fadeFrames = fadeFrames;
        return plan;
    }
    plan = Fixed(maxFrames, fadeFrames);
    plan.cut = true;
    return plan;
}

void RenderPlan::ApplyFade(int16_t* frames, int32_t count, int64_t firstFrame) const {
    if (fadeFrames <= 0) return;
    const int64_t fadeEnd = fadeStart + fadeFrames;
    const int64_t first = std::clamp<int64_t>(fadeStart - firstFrame, 0, count);
    for (int64_t i = first; i < count; ++i) {
        const int64_t remaining = std::max<int64_t>(0, fadeEnd - (firstFrame + i));
        for (int side = 0; side < 2; ++side) {
            int16_t& sample = frames[2 * i + side];
            sample = static_cast<int16_t>(sample * remaining / fadeFrames);
        }
    }
}

int64_t SecondsToFrames(double seconds, uint32_t rate) {
    return static_cast<int64_t>(std::llround(seconds * rate));
}

}  // namespace playback
