#pragma once
// Plays a register log on the chip model, in frames: the log's writes at
// their times, the loop repeated for ever, then (for a log without a loop)
// whatever the chip still makes after the last command.
//
// Where the chip's mix calls fall is part of the sound, so the player cuts
// them as the sequencer cuts them when it plays a song: a zero-length mix
// before each run of writes that follows a wait, one mix per wait command,
// and no mix longer than kSpanFrames (a wait is mixed in pieces of
// kSpanFrames from its start). velnari's own logs cut their waits wherever
// the sequencer cut its mixes, so a log played at kLogRate gives the same
// bytes as the song it was made from. At another rate the waits are scaled,
// rounding down and carrying the remainder.
//
// Output is interleaved stereo frames of two equal signed 16-bit samples, as
// from an engine::Engine: the player is a frame source for playback's render
// plan, start and run-ahead. The player shares the log, read-only.

#include <array>
#include <cstdint>
#include <memory>

#include "engine/Engine.h"
#include "fm/OPN.h"
#include "playback/FrameSource.h"
#include "reglog/RegisterLog.h"
#include "sequencer/Sequencer.h"

namespace reglog {

class LogPlayer : public playback::FrameSource {
  public:
    static constexpr int32_t kSpanFrames = sequencer::Sequencer::kSpanFrames;

    // A player whose rate is outside engine::Engine::kMinRate..kMaxRate, or
    // without a log, is not Ready and renders silence.
    LogPlayer(std::shared_ptr<const RegisterLog> log, uint32_t rate, engine::Volumes volumes = {},
              uint32_t channelMask = 0);

    LogPlayer(const LogPlayer&) = delete;
    LogPlayer& operator=(const LogPlayer&) = delete;

    bool Ready() const { return ready_; }
    void Render(int16_t* frames, int32_t count) override;

    // Chip mute bits: 0-2 FM channels 1-3, 6-8 SSG channels A-C.
    void SetChannelMask(uint32_t mask) { chip_.SetChannelMask(mask); }
    void SetVolumes(engine::Volumes volumes);

    // The chip as mixed so far (the writes that follow the last wait
    // mixed are made when the next frames are asked for).
    const FM::OPN& Chip() const { return chip_; }
    uint32_t Rate() const override { return rate_; }
    int64_t Frame() const override { return frame_; }  // frames rendered since the start
    // The frame at which sample `sample` of a log (counted through the loop's
    // repeats) plays at `rate`: sample * rate / kLogRate, rounded down.
    static int64_t FrameOfSample(int64_t sample, uint32_t rate);

  private:
    // Runs the commands up to the next wait and mixes the next span.
    void MixNextSpan();
    // Frames for the next `samples` of the log, carrying the remainder.
    int64_t ScaleWait(uint32_t samples);

    std::shared_ptr<const RegisterLog> log_;
    uint32_t rate_;
    FM::OPN chip_;
    std::size_t next_ = 0;        // command to run next
    bool afterWait_ = true;       // a write now starts a new run of writes
    bool ended_ = false;          // past the last command of a log without a loop
    int64_t waitLeft_ = 0;        // frames of the current wait not yet mixed
    int64_t remainder_ = 0;       // of the wait scaling, in 1/kLogRate frames
    int64_t framesThisPass_ = 0;  // frames since the loop last started again
    int64_t frame_ = 0;
    std::array<int16_t, kSpanFrames * 2> span_{};
    int32_t spanLength_ = 0;
    int32_t spanRead_ = 0;
    bool ready_ = false;
};

}  // namespace reglog
