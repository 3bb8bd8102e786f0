#pragma once
// Turns a frame source and a render plan into the frames of a render, one
// block at a time: the source's output with the fade applied, and nothing
// after the plan's last frame.

#include <cstdint>
#include <functional>
#include <vector>

#include "playback/FrameSource.h"
#include "playback/RenderPlan.h"

namespace playback {

class Renderer {
  public:
    // Neither is owned; both must outlive the renderer. The render begins at
    // `firstFrame` of the plan, where the source must stand.
    Renderer(FrameSource& source, const RenderPlan& plan, int64_t firstFrame = 0)
        : source_(source), plan_(plan), done_(firstFrame) {}

    // Fills up to `count` frames and returns how many it wrote: fewer only at
    // the end of the plan, 0 once the render is complete.
    int32_t Fill(int16_t* frames, int32_t count);

    int64_t FramesDone() const { return done_; }  // the plan's frames behind us
    // Samples written so far at either end of the 16-bit range: where the
    // chip's mix saturated (clipped).
    int64_t FullScaleSamples() const { return fullScale_; }
    bool Finished() const { return done_ >= plan_.totalFrames; }
    const RenderPlan& Plan() const { return plan_; }

  private:
    FrameSource& source_;
    const RenderPlan& plan_;
    int64_t done_;
    int64_t fullScale_ = 0;
};

// Renders each of `renderers` (a mix and its stems: plans of one length, each
// source standing at the same frame) to the end of its plan in blocks of
// kRenderBlockFrames, in step. Each block goes to `write` with the index of
// its renderer; after each round `progress` hears the first renderer's
// frames done. `stop` is asked before each round: false when it stopped the
// render.
constexpr int32_t kRenderBlockFrames = 4096;
using BlockWriter = std::function<void(std::size_t renderer, const int16_t* frames, int32_t count)>;
bool RenderThrough(const std::vector<Renderer*>& renderers, const BlockWriter& write,
                   const std::function<void(int64_t framesDone)>& progress,
                   const StopAsked& stop = {});

}  // namespace playback
