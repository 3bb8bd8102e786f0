#include "playback/Audition.h"

#include <algorithm>

#include "fm/OPN.h"
#include "sequencer/FMController.h"
#include "sequencer/Pitch.h"
#include "song/Song.h"

namespace playback {

namespace {

// Whether the voice sounds differently on channel 3 than on the others.
bool UsesRatios(const song::FMVoice& voice) {
    return std::any_of(voice.op.begin(), voice.op.end(),
                       [](const song::FMOperatorBlock& op) { return (op.ratio & 3) != 0; });
}

void StartChip(FM::OPN& chip, uint32_t rate) {
    chip.Init(song::kChipClock, rate);
    // 0x27 timer control: mode 01, channel 3 with one frequency per operator,
    // as the sequencer sets it.
    chip.SetReg(0x27, 0x40);
}

}  // namespace

Audition::Audition(uint32_t rate)
    : chip_(std::make_unique<FM::OPN>()),
      fm_(std::make_unique<sequencer::FMController>(chip_.get())) {
    StartChip(*chip_, rate);
}

Audition::~Audition() = default;

void Audition::SetVoice(const song::FMVoice& voice) {
    voice_ = voice;
    // Each channel keeps its note's volume (SetVoice writes it again).
    for (int ch = 0; ch < 3; ++ch) fm_->SetVoice(ch, voice);
    if (UsesRatios(voice)) {
        for (int ch = 0; ch < 2; ++ch) {
            if (notes_[ch] >= 0) NoteOff(notes_[ch]);
        }
    }
}

int Audition::ChannelFor(int note) {
    if (UsesRatios(voice_)) return 2;
    for (int ch = 0; ch < 3; ++ch) {
        if (notes_[ch] == note) return ch;
    }
    for (int ch = 0; ch < 3; ++ch) {
        if (notes_[ch] < 0) return ch;
    }
    return static_cast<int>(std::min_element(started_.begin(), started_.end()) - started_.begin());
}

bool Audition::NoteOn(int note, int volume) {
    if (note < kLowestNote || note > kHighestNote) return false;
    Play(ChannelFor(note), note, std::clamp(volume, 0, 15));
    return true;
}

void Audition::Play(int channel, int note, int volume) {
    fm_->KeyOnOff(channel, false);
    fm_->SetVolume(channel, volume);
    const int32_t block = note / 12 - 1;
    fm_->SetFrequency(channel, block, sequencer::pitch::FNUM_TABLE[note % 12 + 1]);
    fm_->KeyOnOff(channel, true);
    notes_[channel] = note;
    started_[channel] = ++played_;
}

void Audition::NoteOff(int note) {
    for (int ch = 0; ch < 3; ++ch) {
        if (notes_[ch] != note) continue;
        fm_->KeyOnOff(ch, false);
        notes_[ch] = -1;
    }
}

void Audition::AllNotesOff() {
    for (int ch = 0; ch < 3; ++ch) {
        if (notes_[ch] >= 0) NoteOff(notes_[ch]);
    }
}

void Audition::Mix(int16_t* frames, int32_t count) {
    chip_->Mix(frames, count);
}

std::vector<int32_t> Audition::Envelope(const song::FMVoice& voice, int op, int note, uint32_t rate,
                                        int64_t holdFrames, int64_t step, int32_t points) {
    std::vector<int32_t> levels;
    if (op < 0 || op > 3 || points <= 0 || step <= 0) return levels;
    Audition audition(rate);
    audition.SetVoice(voice);
    if (!audition.NoteOn(note, 15)) return levels;
    if (holdFrames <= 0) audition.NoteOff(note);
    const FM::Operator& watched = audition.chip_->GetChannel(0).GetOperator(op);
    // A sample clocks the envelope before it is computed, so the output that
    // frame n sounds with is there once frames 0 to n are mixed.
    std::vector<int16_t> scratch;
    int64_t frame = 0;
    levels.reserve(static_cast<std::size_t>(points));
    for (int32_t i = 0; i < points; ++i) {
        const int64_t target = i * step + 1;
        while (frame < target) {
            int64_t next = target;
            if (frame < holdFrames) next = std::min(next, holdFrames);
            const auto n = static_cast<int32_t>(std::min<int64_t>(next - frame, 4096));
            scratch.assign(static_cast<std::size_t>(n) * 2, 0);
            audition.Mix(scratch.data(), n);
            frame += n;
            if (frame == holdFrames) audition.NoteOff(note);
        }
        levels.push_back(watched.EnvelopeOutput());
    }
    return levels;
}

}  // namespace playback
