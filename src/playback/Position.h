#pragma once
// Positions in a piece: frames of output, ticks of the sequencer, and bars of
// kTicksPerBar ticks, as every front end shows and seeks them. A tick lasts a
// whole number of frames for the song's whole length (the engine's
// FramesPerTick), so the conversions are exact both ways on tick boundaries.

#include <algorithm>
#include <cstdint>

namespace playback {

// A whole note: the bar of the position displays and of "go to bar".
constexpr int64_t kTicksPerBar = 64;

// The tick sounding at `frame`.
constexpr int64_t TickOfFrame(int64_t frame, int32_t framesPerTick) {
    return frame / std::max(framesPerTick, 1);
}

// The first frame of `tick`.
constexpr int64_t FrameOfTick(int64_t tick, int32_t framesPerTick) {
    return tick * std::max(framesPerTick, 1);
}

// The bar, counted from 1, that `tick` lies in.
constexpr int64_t BarOfTick(int64_t tick) {
    return tick / kTicksPerBar + 1;
}

// The first tick of bar `bar` (counted from 1).
constexpr int64_t TickOfBar(int64_t bar) {
    return (std::max<int64_t>(bar, 1) - 1) * kTicksPerBar;
}

// The frame at `ms` milliseconds at `rate`, and back, each rounded to the
// nearest, so that at 1000 Hz or more a position in milliseconds comes back
// as it went in.
constexpr int64_t FrameOfMilliseconds(uint64_t ms, uint32_t rate) {
    return static_cast<int64_t>((ms * rate + 500) / 1000);
}
constexpr uint64_t MillisecondsOfFrame(int64_t frame, uint32_t rate) {
    return (static_cast<uint64_t>(frame) * 1000 + rate / 2) / rate;
}

}  // namespace playback
