#pragma once
// A range of a piece on repeat: frames [first, end) of a song, again and
// again, each pass exactly as a render from the beginning plays them: at the
// range's end the engine goes back to its first frame by restoring the
// state it saved there, at once.

#include <cstdint>
#include <memory>

#include "engine/Engine.h"

namespace playback {

class RangeLoop {
  public:
    // Engines of `song` at `rate` with `volumes` and `mask`; `first` < `end`.
    RangeLoop(const std::shared_ptr<const song::Song>& song, uint32_t rate, engine::Volumes volumes,
              uint32_t mask, int64_t first, int64_t end);

    // Writes the next `count` frames of the repeating range.
    void Fill(int16_t* frames, int32_t count);

    int64_t Frame() const { return playing_->Frame(); }  // of the piece
    int64_t Passes() const { return passes_; }           // passes begun after the first
    int64_t First() const { return first_; }
    int64_t End() const { return end_; }

  private:
    std::unique_ptr<engine::Engine> playing_;
    std::unique_ptr<const engine::Snapshot> atFirst_;  // the state at `first_`
    int64_t first_;
    int64_t end_;
    int64_t passes_ = 0;
};

}  // namespace playback
