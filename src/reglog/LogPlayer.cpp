#include "reglog/LogPlayer.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace reglog {

LogPlayer::LogPlayer(std::shared_ptr<const RegisterLog> log, uint32_t rate, engine::Volumes volumes,
                     uint32_t channelMask)
    : log_(std::move(log)), rate_(rate) {
    if (!log_ || rate < engine::Engine::kMinRate || rate > engine::Engine::kMaxRate) return;
    chip_.Init(log_->clock, rate);
    SetVolumes(volumes);
    chip_.SetChannelMask(channelMask);
    ready_ = true;
}

void LogPlayer::SetVolumes(engine::Volumes volumes) {
    chip_.SetVolumeFM(volumes.fm);
    chip_.SetVolumePSG(volumes.ssg);
}

int64_t LogPlayer::FrameOfSample(int64_t sample, uint32_t rate) {
    // Split so that no product overflows for any sample count in 63 bits.
    return sample / kLogRate * rate + sample % kLogRate * rate / kLogRate;
}

int64_t LogPlayer::ScaleWait(uint32_t samples) {
    const int64_t scaled = remainder_ + int64_t{samples} * rate_;
    remainder_ = scaled % kLogRate;
    return scaled / kLogRate;
}

void LogPlayer::Render(int16_t* frames, int32_t count) {
    if (frames == nullptr || count <= 0) return;
    frame_ += count;
    if (!ready_) {
        std::memset(frames, 0, static_cast<std::size_t>(count) * 2 * sizeof(int16_t));
        return;
    }
    while (count > 0) {
        if (spanRead_ == spanLength_) MixNextSpan();
        const int32_t n = std::min(count, spanLength_ - spanRead_);
        std::memcpy(frames, span_.data() + static_cast<std::ptrdiff_t>(spanRead_) * 2,
                    static_cast<std::size_t>(n) * 2 * sizeof(int16_t));
        frames += static_cast<std::ptrdiff_t>(n) * 2;
        spanRead_ += n;
        count -= n;
    }
}

void LogPlayer::MixNextSpan() {
    const std::vector<LogCommand>& commands = log_->commands;
    while (waitLeft_ == 0 && !ended_) {
        if (next_ >= commands.size()) {
            // A loop that gives no frames at this rate would never end.
            if (!log_->loopStart || *log_->loopStart >= commands.size() || framesThisPass_ == 0) {
                ended_ = true;
                break;
            }
            next_ = *log_->loopStart;
            framesThisPass_ = 0;
            continue;
        }
        const LogCommand& c = commands[next_++];
        if (c.kind == LogCommand::Kind::kWrite) {
            if (afterWait_) chip_.Mix(span_.data(), 0);
            afterWait_ = false;
            chip_.SetReg(c.address, c.data);
        } else {
            afterWait_ = true;
            waitLeft_ = ScaleWait(c.samples);
            framesThisPass_ += waitLeft_;
        }
    }
    if (ended_) waitLeft_ = std::numeric_limits<int64_t>::max();
    spanLength_ = static_cast<int32_t>(std::min<int64_t>(waitLeft_, kSpanFrames));
    std::memset(span_.data(), 0, static_cast<std::size_t>(spanLength_) * 2 * sizeof(int16_t));
    chip_.Mix(span_.data(), spanLength_);
    waitLeft_ -= spanLength_;
    spanRead_ = 0;
}

}  // namespace reglog
