#include "playback/LiveSession.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "playback/Position.h"

namespace playback {

Take::Take(std::shared_ptr<const song::Song> song, uint32_t rate, engine::Volumes volumes,
           uint32_t chipMask, const RenderPlan& plan)
    : engine_(std::make_unique<engine::Engine>(std::move(song), rate, volumes, chipMask)),
      plan_(plan),
      ticks_(std::make_shared<const TickMap>(
          TickMap::OfSong(engine_->SharedSong(), rate,
                          std::min(plan.totalFrames, SecondsToFrames(kMapSeconds, rate))))),
      frames_(*engine_),
      renderer_(std::make_unique<Renderer>(frames_, plan_)) {}

bool Take::RunAheadTo(int64_t frame, const StopAsked& stop, int64_t budget) {
    if (frame <= Frame()) return true;
    const bool reached = RunAhead(frames_, frame, stop, budget);
    renderer_ = std::make_unique<Renderer>(frames_, plan_, engine_->Frame());
    return reached;
}

void Take::Rewind() {
    engine_->SeekToFrame(0);
    renderer_ = std::make_unique<Renderer>(frames_, plan_);
}

LiveSession::LiveSession(int32_t fadeFrames, int64_t runAheadBudget)
    : fadeFrames_(std::max(fadeFrames, 1)), runAheadBudget_(runAheadBudget) {}

LiveSession::~LiveSession() = default;

void LiveSession::Fill(int16_t* frames, int32_t count) {
    std::lock_guard<std::mutex> lock(mutex_);
    RunPendingAhead();
    if (paused_ || (!current_ && !next_)) {
        std::memset(frames, 0, static_cast<std::size_t>(count) * 4);
        return;
    }
    for (int32_t done = 0; done < count;) {
        if (next_ &&
            (!current_ || nextAt_ < 0 || current_->Frame() >= nextAt_ || current_->Finished())) {
            if (fading_) retired_.push_back(std::move(fading_));
            if (nextCuts_) {
                Retire(current_);
            } else {
                fading_ = std::move(current_);
            }
            current_ = std::move(next_);
            faded_ = 0;
            nextCuts_ = false;
        }
        int32_t n = count - done;
        if (next_ && nextAt_ >= 0) {
            n = static_cast<int32_t>(std::min<int64_t>(n, nextAt_ - current_->Frame()));
        }
        int16_t* out = frames + std::size_t{2} * done;
        const int32_t got = current_->Fill(out, n);
        std::memset(out + std::size_t{2} * got, 0, static_cast<std::size_t>(n - got) * 4);
        if (fading_) CrossFade(out, n);
        done += n;
    }
}

// Frame k (1-based) of the fade weighs the new take k / fadeFrames_ and the
// old one the rest, so the last frame of the fade is the new take's alone.
void LiveSession::CrossFade(int16_t* frames, int32_t count) {
    const int32_t total = std::min(count, fadeFrames_ - faded_);
    const int32_t block = static_cast<int32_t>(scratch_.size() / 2);
    for (int32_t done = 0; done < total;) {
        const int32_t n = std::min(block, total - done);
        const int32_t got = fading_->Fill(scratch_.data(), n);
        std::fill(scratch_.begin() + 2 * got, scratch_.begin() + 2 * n, int16_t{0});
        for (int32_t i = 0; i < n; ++i) {
            const int32_t k = faded_ + done + i + 1;
            for (int side = 0; side < 2; ++side) {
                int16_t& sample = frames[2 * (done + i) + side];
                sample = static_cast<int16_t>(
                    (scratch_[2 * i + side] * (fadeFrames_ - k) + sample * k) / fadeFrames_);
            }
        }
        done += n;
    }
    faded_ += total;
    if (faded_ >= fadeFrames_) retired_.push_back(std::move(fading_));
}

void LiveSession::Retire(std::unique_ptr<Take>& take) {
    if (take) retired_.push_back(std::move(take));
}

void LiveSession::RunPendingAhead() {
    if (!pending_) return;
    int64_t at = -1;
    if (pendingLead_ >= 0) {
        // The next tick boundary past the lead, in both versions; from the
        // beginning when nothing plays or the new version ends before it.
        pendingFrame_ = 0;
        if (current_ && !current_->Finished()) {
            const TickMap& now = *current_->Ticks();
            const int64_t tick = now.TickOfFrame(current_->Frame() + pendingLead_) + 1;
            const int64_t frame = pending_->Ticks()->FrameOfTick(tick);
            if (frame < pending_->Plan().totalFrames &&
                now.FrameOfTick(tick) < current_->Plan().totalFrames) {
                pendingFrame_ = frame;
                at = now.FrameOfTick(tick);
            }
        }
    }
    if (pending_->Frame() > pendingFrame_) pending_->Rewind();
    if (!pending_->RunAheadTo(pendingFrame_, {}, runAheadBudget_)) return;
    HandOver(pending_, at);
}

void LiveSession::HandOver(std::unique_ptr<Take>& take, int64_t at) {
    Retire(next_);
    nextCuts_ = false;
    if (!current_ || paused_) {
        // Nothing sounds to fade from.
        Retire(current_);
        current_ = std::move(take);
        return;
    }
    next_ = std::move(take);
    nextAt_ = at;
}

void LiveSession::PlayWhenReady(std::unique_ptr<Take> take, int64_t frame) {
    std::lock_guard<std::mutex> lock(mutex_);
    Retire(next_);
    Retire(pending_);
    pending_ = std::move(take);
    pendingFrame_ = std::max<int64_t>(frame, 0);
    pendingLead_ = -1;
}

void LiveSession::TakeOverWhenReady(std::unique_ptr<Take> take, int64_t leadFrames) {
    std::lock_guard<std::mutex> lock(mutex_);
    Retire(next_);
    Retire(pending_);
    pending_ = std::move(take);
    pendingFrame_ = 0;
    pendingLead_ = std::max<int64_t>(leadFrames, 0);
}

void LiveSession::SetChannelMask(uint32_t mask) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto* take : {&current_, &next_, &pending_, &fading_}) {
        if (*take) (*take)->SetChannelMask(mask);
    }
}

void LiveSession::Play(std::unique_ptr<Take> take) {
    std::lock_guard<std::mutex> lock(mutex_);
    Retire(pending_);
    HandOver(take, -1);
}

bool LiveSession::PlayAt(std::unique_ptr<Take>& take, int64_t at, bool cut) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (current_ && !current_->Finished() && current_->Frame() > at) return false;
    if (next_) retired_.push_back(std::move(next_));
    next_ = std::move(take);
    nextAt_ = at;
    nextCuts_ = cut;
    return true;
}

void LiveSession::SetPaused(bool paused) {
    std::lock_guard<std::mutex> lock(mutex_);
    paused_ = paused;
}

LiveSession::Status LiveSession::GetStatus() const {
    std::lock_guard<std::mutex> lock(mutex_);
    Status status;
    status.paused = paused_;
    status.switching = next_ != nullptr || fading_ != nullptr || pending_ != nullptr;
    status.handingOver = pending_ != nullptr || next_ != nullptr;
    if (!current_) return status;
    status.playing = true;
    status.finished = current_->Finished();
    status.frame = current_->Frame();
    status.totalFrames = current_->Plan().totalFrames;
    const engine::Engine& engine = current_->Engine();
    status.framesPerTick = engine.FramesPerTick();
    status.ticks = current_->Ticks();
    status.tick = engine.Tick();
    for (int part = 0; part < song::kPartCount; ++part) status.parts[part] = engine.Part(part);
    status.song = current_->Song();
    return status;
}

LiveSession::TakeOverResult LiveSession::TakeOver(std::unique_ptr<Take> take, int64_t leadFrames,
                                                  const StopAsked& stop) {
    const TickMap& ticks = *take->Ticks();
    for (int attempt = 0;; ++attempt) {
        const Status status = GetStatus();
        if (!status.playing || status.finished) break;
        const int64_t tick = status.ticks->TickOfFrame(status.frame + leadFrames) + 1;
        const int64_t at = status.ticks->FrameOfTick(tick);
        const int64_t frame = ticks.FrameOfTick(tick);
        if (frame >= take->Plan().totalFrames || at >= status.totalFrames) break;
        if (!take->RunAheadTo(frame, stop)) return {TakeOverResult::Kind::kStopped, 0};
        if (attempt == kTakeOverTries || PlayAt(take, at)) {
            if (take) Play(std::move(take));
            return {TakeOverResult::Kind::kAtTick, tick};
        }
    }
    Play(std::move(take));
    return {TakeOverResult::Kind::kFromBeginning, 0};
}

void LiveSession::Collect() {
    std::vector<std::unique_ptr<Take>> retired;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        retired.swap(retired_);
    }
}

}  // namespace playback
