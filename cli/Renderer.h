#pragma once
// Turns a frame source and a render plan into the frames of a render, one
// block at a time: the source's output with the fade applied, and nothing
// after the plan's last frame.

#include <cstdint>

#include "RenderPlan.h"
#include "engine/Engine.h"

namespace cli {

// Anything that produces interleaved 16-bit stereo frames on request (an
// engine playing a song, or a test signal).
class FrameSource {
  public:
    virtual ~FrameSource() = default;
    virtual void Render(int16_t* frames, int32_t count) = 0;
};

// An engine as a frame source; the engine is not owned.
class EngineFrames : public FrameSource {
  public:
    explicit EngineFrames(engine::Engine& engine) : engine_(engine) {}
    void Render(int16_t* frames, int32_t count) override { engine_.Render(frames, count); }

  private:
    engine::Engine& engine_;
};

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

}  // namespace cli
