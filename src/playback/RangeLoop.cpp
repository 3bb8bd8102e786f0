#include "playback/RangeLoop.h"

#include <algorithm>

#include "playback/FrameSource.h"

namespace playback {

RangeLoop::RangeLoop(const std::shared_ptr<const song::Song>& song, uint32_t rate,
                     engine::Volumes volumes, uint32_t mask, int64_t first, int64_t end)
    : playing_(std::make_unique<engine::Engine>(song, rate, volumes, mask)),
      first_(std::max<int64_t>(first, 0)),
      end_(std::max(end, first_ + 1)) {
    Seek(*playing_, first_);
    atFirst_ = playing_->Save();
}

void RangeLoop::Fill(int16_t* frames, int32_t count) {
    while (count > 0) {
        if (playing_->Frame() >= end_) {
            if (!atFirst_ || !playing_->Restore(*atFirst_)) Seek(*playing_, first_);
            ++passes_;
        }
        const auto n = static_cast<int32_t>(std::min<int64_t>(count, end_ - playing_->Frame()));
        playing_->Render(frames, n);
        frames += 2 * static_cast<std::ptrdiff_t>(n);
        count -= n;
    }
}

}  // namespace playback
