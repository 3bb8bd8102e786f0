#include "engine/Engine.h"

#include <algorithm>
#include <cstring>

#include "sequencer/Sequencer.h"

namespace engine {

static_assert(Engine::kMinRate == sequencer::Sequencer::kMinRate &&
                  Engine::kMaxRate == sequencer::Sequencer::kMaxRate,
              "the engine states the sequencer's rates");

// Passes the chip's register writes on with the frame at which they act.
class Engine::ChipTap : public FM::RegisterObserver {
  public:
    explicit ChipTap(const Engine& engine) : engine_(engine) {}

    void OnSetReg(uint32_t address, uint32_t data) override {
        if (engine_.observer_ == nullptr) return;
        const int64_t frame = engine_.sequencer_ ? engine_.sequencer_->FramesMixed() : 0;
        engine_.observer_->OnRegisterWrite(frame, address, data);
    }

  private:
    const Engine& engine_;
};

Engine::Engine(std::shared_ptr<const song::Song> song, uint32_t rate, Volumes volumes,
               uint32_t channelMask)
    : song_(std::move(song)),
      rate_(rate),
      volumes_(volumes),
      channelMask_(channelMask),
      tap_(std::make_unique<ChipTap>(*this)) {
    Start(true);
}

Engine::~Engine() = default;

void Engine::Start(bool newChip) {
    sequencer_.reset();
    ready_ = false;
    frame_ = 0;
    if (newChip || !chip_) {
        chip_ = std::make_unique<FM::OPN>();
        chip_->SetRegisterObserver(tap_.get());
    }
    if (!song_) return;
    sequencer_ = std::make_unique<sequencer::Sequencer>(chip_.get(), song_.get());
    if (!sequencer_->Init(rate_)) return;
    chip_->SetVolumeFM(volumes_.fm);
    chip_->SetVolumePSG(volumes_.ssg);
    chip_->SetChannelMask(channelMask_);
    ready_ = true;
}

void Engine::Render(int16_t* frames, int32_t count) {
    if (frames == nullptr || count <= 0) return;
    if (sequencer_) {
        sequencer_->Render(frames, count);
    } else {
        std::memset(frames, 0, static_cast<std::size_t>(count) * 2 * sizeof(int16_t));
    }
    frame_ += count;
}

void Engine::Restart() {
    Start(false);
}

void Engine::SeekToFrame(int64_t frame) {
    Start(true);
    RunAheadTo(frame);
}

void Engine::RunAheadTo(int64_t frame) {
    if (frame_ >= frame) return;
    if (sequencer_) sequencer_->Skip(frame - frame_);
    frame_ = frame;
}

Snapshot::Snapshot() = default;
Snapshot::~Snapshot() = default;
Snapshot::Snapshot(Snapshot&&) noexcept = default;
Snapshot& Snapshot::operator=(Snapshot&&) noexcept = default;

std::size_t Snapshot::Bytes() const {
    return sizeof *this + (chip_ ? sizeof *chip_ : 0) + (sequencer_ ? sequencer_->StateBytes() : 0);
}

std::unique_ptr<const Snapshot> Engine::Save() const {
    if (!ready_) return nullptr;
    auto snapshot = std::unique_ptr<Snapshot>(new Snapshot);
    snapshot->song_ = song_;
    snapshot->rate_ = rate_;
    snapshot->volumes_ = volumes_;
    snapshot->channelMask_ = channelMask_;
    snapshot->frame_ = frame_;
    snapshot->chip_ = std::make_unique<FM::OPN>(*chip_);
    snapshot->sequencer_ =
        std::make_unique<sequencer::Sequencer>(snapshot->chip_.get(), song_.get());
    snapshot->sequencer_->AssignState(*sequencer_);
    return snapshot;
}

bool Engine::Restore(const Snapshot& snapshot) {
    if (!ready_ || snapshot.song_ != song_ || snapshot.rate_ != rate_ ||
        !(snapshot.volumes_ == volumes_) || snapshot.channelMask_ != channelMask_) {
        return false;
    }
    *chip_ = *snapshot.chip_;  // keeps the engine's tap
    sequencer_->AssignState(*snapshot.sequencer_);
    frame_ = snapshot.frame_;
    return true;
}

void Engine::SkipTick() {
    if (sequencer_) sequencer_->Tick();
}

void Engine::SetChannelMask(uint32_t mask) {
    channelMask_ = mask;
    chip_->SetChannelMask(mask);
}

void Engine::SetVolumes(Volumes volumes) {
    volumes_ = volumes;
    chip_->SetVolumeFM(volumes.fm);
    chip_->SetVolumePSG(volumes.ssg);
}

int32_t Engine::FramesPerTick() const {
    return sequencer_ ? sequencer_->FramesPerTick() : 1;
}

int32_t Engine::TickLength(int32_t tempo, uint32_t rate) {
    return sequencer::Sequencer::TickLength(tempo, rate);
}

TempoStatus Engine::Tempo() const {
    if (!sequencer_) return {};
    const sequencer::Sequencer::TempoState& t = sequencer_->Tempo();
    return {t.tempo, t.from, t.to, t.length, t.step};
}

int64_t Engine::Tick() const {
    return sequencer_ ? sequencer_->CurrentTick() : 0;
}

double Sounding::Hertz() const {
    if (pitch == 0) return 0.0;
    if (fm)
        return sequencer::FMController::Frequency(pitch >> 11, pitch & 2047, Engine::kChipClock);
    return sequencer::SSGController::Frequency(pitch, Engine::kChipClock);
}

Sounding Engine::NowSounding(int part) const {
    Sounding now;
    if (!sequencer_ || part < 0 || part >= song::kPartCount) return now;
    const sequencer::Sequencer::Playing playing = sequencer_->NowPlaying(part);
    const sequencer::PartState& ps = sequencer_->Part(part);
    now.command = playing.command;
    now.calls = playing.calls;
    now.tick = playing.tick;
    now.until = ps.nextEvent;
    now.tied = ps.tied;
    now.volume = ps.volume;
    now.voice = ps.voiceNumber;
    now.fm = part < song::kFMPartCount;
    if (now.fm) {
        const sequencer::FMController& fm = sequencer_->FMControl();
        now.keyedOn = fm.KeyedOn(part);
        if (ps.prevFreq != 0) now.pitch = fm.Block(part) << 11 | fm.Fnum(part);
    } else {
        const int ch = part - song::kFMPartCount;
        const sequencer::SSGController& ssg = sequencer_->SSGControl();
        now.keyedOn = ssg.KeyedOn(ch);
        if (ps.prevFreq != 0) now.pitch = ssg.Tone(ch);
    }
    return now;
}

PartStatus Engine::Part(int part) const {
    PartStatus status;
    if (!song_ || part < 0 || part >= song::kPartCount) return status;
    status.used = song_->IsPartUsed(part);
    if (!sequencer_) return status;
    status.active = sequencer_->IsActive(part);
    status.passes = sequencer_->Passes(part);
    status.passEndTick = sequencer_->PassEndTick(part);
    status.passNesting = sequencer_->PassNesting(part);
    return status;
}

}  // namespace engine
