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

bool RunAhead(FrameSource& source, int64_t frame, const StopAsked& stop, int64_t budget) {
    const int64_t step = std::max<int64_t>(source.Rate(), 1);
    const int64_t from = source.Frame();
    const int64_t end = budget >= frame - from ? frame : from + std::max<int64_t>(budget, 0);
    while (source.Frame() < end) {
        if (stop && stop()) return false;
        source.RunAheadTo(std::min(end, source.Frame() + step));
    }
    return source.Frame() >= frame;
}

bool Seek(engine::Engine& engine, int64_t frame, const StopAsked& stop, int64_t budget) {
    if (frame < engine.Frame()) engine.SeekToFrame(0);
    EngineFrames frames(engine);
    return RunAhead(frames, frame, stop, budget);
}

}  // namespace playback
