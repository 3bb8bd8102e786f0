#pragma once
// Where each tick of a piece starts, in frames: the one conversion between
// ticks and time. A tick lasts the whole frames its tempo gives
// (Engine::TickLength); a song that changes its tempo ("!t") has ticks of
// different lengths, so the frame of a tick is the sum of the lengths before
// it. The map holds that sum exactly, as a list of steps where the length
// changes, found by running the song's own sequencer ahead without mixing:
// every front end that turns ticks into frames or frames into ticks
// (starts, lengths, the loop search, bars, register-log waits) asks it.
//
// Deliberate choices:
// - A song without a tempo change gets a map of one step without running
//   anything: its frames are tick * FramesPerTick, as always.
// - The map of a song reaches as far as it was asked to (a frame limit);
//   beyond its last step the last tick length holds.

#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <vector>

#include "song/Song.h"

namespace playback {

class TickMap {
  public:
    // From `tick` on (up to the next step) each tick lasts `framesPerTick`
    // frames, the first starting at `frame`; `tempo` is the tempo then.
    struct Step {
        int64_t tick = 0;
        int64_t frame = 0;
        int32_t framesPerTick = 1;
        int32_t tempo = 0;
        friend bool operator==(const Step&, const Step&) = default;
    };

    // Every tick `framesPerTick` frames long (at least 1).
    explicit TickMap(int32_t framesPerTick = 1, int32_t tempo = 0);

    // The map of `song` at `rate` (an engine's rate), exact through frame
    // `maxFrames` and tick `maxTicks`, whichever comes first, or until every
    // part has stopped. `poll`, when set, is called every few thousand ticks
    // and may throw to stop the run.
    static TickMap OfSong(const std::shared_ptr<const song::Song>& song, uint32_t rate,
                          int64_t maxFrames, int64_t maxTicks = kNoTickLimit,
                          const std::function<void()>& poll = {});
    static constexpr int64_t kNoTickLimit = std::numeric_limits<int64_t>::max();

    int64_t FrameOfTick(int64_t tick) const;
    // The tick sounding at `frame`.
    int64_t TickOfFrame(int64_t frame) const;
    int32_t FramesPerTickAt(int64_t tick) const;
    // The tempo in force at `tick` (0 for a map made from a tick length).
    int32_t TempoAt(int64_t tick) const;

    // True when every tick has the same length.
    bool Uniform() const { return steps_.size() == 1; }
    const std::vector<Step>& Steps() const { return steps_; }

  private:
    const Step& StepOfTick(int64_t tick) const;
    const Step& StepOfFrame(int64_t frame) const;

    std::vector<Step> steps_;  // by tick; the first at tick 0
};

// Frames [first, end) of bars `firstBar` to `lastBar` (counted from 1) of
// `song` at `rate`: from the first bar's first tick to the tick after the
// last bar, where the song's tempo puts them. `poll` as for TickMap::OfSong.
struct FrameRange {
    int64_t first = 0;
    int64_t end = 0;
};
FrameRange FramesOfBars(const std::shared_ptr<const song::Song>& song, uint32_t rate,
                        int64_t firstBar, int64_t lastBar, const std::function<void()>& poll = {});

}  // namespace playback
