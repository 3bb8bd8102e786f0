#include "sequencer/Sequencer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "fm/OPN.h"
#include "song/Song.h"

namespace sequencer {

Sequencer::Sequencer(FM::OPN* chip, const song::Song* song)
    : chip_(chip), fm_(chip), ssg_(chip), song_(song) {}

int32_t Sequencer::TickLength(int32_t tempo, uint32_t rate) {
    // The division by 1.1 makes every tick 1/1.1 of its nominal length.
    const double frames = 60.0 / (tempo * 16.0) * rate / 1.1 + 0.5;
    if (!(frames >= 1.0)) return 1;  // also a negative tempo (and NaN)
    if (frames >= 2147483647.0) return std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(frames);
}

int32_t Sequencer::StepBudget(int32_t tempo) {
    return static_cast<int32_t>(std::clamp<int64_t>(
        int64_t{kStepsPerFrame} * TickLength(tempo, kMaxRate), kMinStepBudget, kStepBudget));
}

bool Sequencer::Init(uint32_t rate) {
    ready_ = false;
    if (chip_ == nullptr || song_ == nullptr || rate < kMinRate || rate > kMaxRate) return false;
    rate_ = rate;
    tempo_ = TempoState{song_->GetTempo()};
    tempoSet_ = false;
    ApplyTempo();
    framesLeft_ = 0;
    framesMixed_ = 0;
    spanLength_ = spanRead_ = 0;
    tick_ = 0;
    if (!chip_->Init(song::kChipClock, rate, false, nullptr)) return false;
    for (int part = 0; part < song::kPartCount; ++part) {
        PartState& ps = parts_[part];
        ps = PartState{};
        ps.active = song_->IsPartUsed(part);
        const song::CommandList& list = song_->Part(part);
        ps.position = {list.begin(), list.end()};
        sounding_[part] = {};
    }
    // 0x27 timer control:  mm-- ----   mode 01: channel 3 with one frequency per operator
    chip_->SetReg(0x27, 0x40);
    ready_ = true;
    return true;
}

void Sequencer::Render(int16_t* buffer, int32_t frames) {
    if (buffer == nullptr || frames <= 0) return;
    if (!ready_) {
        std::memset(buffer, 0, static_cast<std::size_t>(frames) * 2 * sizeof(int16_t));
        return;
    }
    while (frames > 0) {
        if (spanRead_ == spanLength_) MixNextSpan();
        const int32_t n = std::min(frames, spanLength_ - spanRead_);
        std::memcpy(buffer, span_.data() + static_cast<std::ptrdiff_t>(spanRead_) * 2,
                    static_cast<std::size_t>(n) * 2 * sizeof(int16_t));
        buffer += static_cast<std::ptrdiff_t>(n) * 2;
        spanRead_ += n;
        frames -= n;
    }
}

// The chip decides once per Mix call which FM channels are active, so where
// the Mix calls fall is part of the sound. They are cut at tick boundaries and
// every kSpanFrames frames of the piece, never where a request happens to end:
// the bytes are the same however the caller cuts its requests.
void Sequencer::MixNextSpan(int64_t skip) {
    if (framesLeft_ == 0) {
        chip_->Advance(0);  // as a Mix when a request starts on a tick boundary
        Tick();
        framesLeft_ = framesPerTick_;
    }
    spanLength_ = std::min(framesLeft_, kSpanFrames);
    if (spanLength_ <= skip) {
        chip_->Advance(spanLength_);
    } else {
        std::memset(span_.data(), 0, static_cast<std::size_t>(spanLength_) * 2 * sizeof(int16_t));
        chip_->Mix(span_.data(), spanLength_);
    }
    framesMixed_ += spanLength_;
    framesLeft_ -= spanLength_;
    spanRead_ = 0;
}

void Sequencer::Skip(int64_t frames) {
    if (!ready_) return;
    while (frames > 0) {
        if (spanRead_ == spanLength_) MixNextSpan(frames);
        const int32_t n = static_cast<int32_t>(std::min<int64_t>(frames, spanLength_ - spanRead_));
        spanRead_ += n;
        frames -= n;
    }
}

void Sequencer::AssignState(const Sequencer& other) {
    FM::OPN* const chip = chip_;
    CommandObserver* const observer = observer_;
    *this = other;
    chip_ = chip;
    fm_.SetChip(chip);
    ssg_.SetChip(chip);
    observer_ = observer;
}

std::size_t Sequencer::StateBytes() const {
    std::size_t bytes = sizeof *this;
    for (const PartState& ps : parts_) {
        bytes += ps.flow.returns.capacity() * sizeof(CommandCursor) +
                 ps.flow.loops.capacity() * sizeof(LoopFrame);
    }
    for (const Sounding& now : sounding_) bytes += now.calls.capacity() * sizeof(now.calls[0]);
    return bytes;
}

void Sequencer::Tick() {
    if (!ready_) return;
    if (tempo_.length != 0) StepRamp();
    for (int part = 0; part < song::kPartCount; ++part) {
        if (parts_[part].active) PartTick(part);
    }
    if (tempoSet_) {
        tempoSet_ = false;
        ApplyTempo();
    }
    ++tick_;
}

void Sequencer::ApplyTempo() {
    framesPerTick_ = TickLength(tempo_.tempo, rate_);
    stepBudget_ = StepBudget(tempo_.tempo);
}

void Sequencer::ChangeTempo(int32_t to, int32_t length) {
    if (length <= 0) {
        tempo_ = TempoState{to};
    } else {
        // This tick keeps the current tempo: step 0 of the ramp.
        tempo_ = TempoState{tempo_.tempo, tempo_.tempo, to, length, 0};
    }
    tempoSet_ = true;
}

// Tick k of a ramp plays at from + (to - from) * k / length, rounded toward
// zero; the ramp ends on its last tick, at `to`.
void Sequencer::StepRamp() {
    TempoState& t = tempo_;
    ++t.step;
    t.tempo = static_cast<int32_t>(t.from + (int64_t{t.to} - t.from) * t.step / t.length);
    if (t.step >= t.length) t = TempoState{t.to};
    ApplyTempo();
}

void Sequencer::PartTick(int part) {
    PartState& ps = parts_[part];
    if (tick_ >= ps.nextEvent && !ps.tied) {
        // The note that ran out is where a later portamento starts.
        ps.prevOctave = ps.NoteOctave();
        ps.prevFreq = ps.freq;
        KeyOnOff(part, false);
    }
    RunCommands(part);
    UpdateEffects(part);  // also in the tick in which the part stopped
}

void Sequencer::KeyOnOff(int part, bool on) {
    if (part < song::kFMPartCount) {
        fm_.KeyOnOff(part, on);
    } else {
        ssg_.KeyOnOff(part - song::kFMPartCount, on);
    }
}

}  // namespace sequencer
