#include "playback/FrameSource.h"

#include <algorithm>
#include <array>

namespace playback {

void FrameSource::RunAheadTo(int64_t frame) {
    std::array<int16_t, 2 * 4096> scratch;
    const int64_t block = static_cast<int64_t>(scratch.size() / 2);
    while (Frame() < frame) {
        Render(scratch.data(), static_cast<int32_t>(std::min(block, frame - Frame())));
    }
}

EngineFrames::EngineFrames(engine::Engine& engine, std::shared_ptr<Snapshots> snapshots)
    : engine_(engine), snapshots_(std::move(snapshots)) {
    if (snapshots_ && !snapshots_->Suits(engine_)) snapshots_.reset();
    if (snapshots_) snapshots_->Note(engine_);
}

void EngineFrames::Render(int16_t* frames, int32_t count) {
    engine_.Render(frames, count);
    if (snapshots_) snapshots_->Note(engine_);
}

// A run-ahead pauses at the start of every stretch to note a snapshot there.
void EngineFrames::RunAheadTo(int64_t frame) {
    if (!snapshots_) {
        engine_.RunAheadTo(frame);
        return;
    }
    while (engine_.Frame() < frame) {
        engine_.RunAheadTo(std::min(frame, snapshots_->NextStretch(engine_.Frame())));
        snapshots_->Note(engine_);
    }
}

void EngineFrames::Approach(int64_t frame) {
    if (snapshots_) snapshots_->Approach(engine_, frame);
}

bool RunAhead(FrameSource& source, int64_t frame, const StopAsked& stop, int64_t budget) {
    source.Approach(frame);
    const int64_t step = std::max<int64_t>(source.Rate(), 1);
    const int64_t from = source.Frame();
    const int64_t end = budget >= frame - from ? frame : from + std::max<int64_t>(budget, 0);
    while (source.Frame() < end) {
        if (stop && stop()) return false;
        source.RunAheadTo(std::min(end, source.Frame() + step));
    }
    return source.Frame() >= frame;
}

bool Seek(engine::Engine& engine, int64_t frame, const StopAsked& stop, int64_t budget,
          const std::shared_ptr<Snapshots>& snapshots) {
    EngineFrames frames(engine, snapshots);
    frames.Approach(frame);
    if (frame < engine.Frame()) engine.SeekToFrame(0);
    return RunAhead(frames, frame, stop, budget);
}

}  // namespace playback
