#pragma once
// One FM voice played from a keyboard: notes on and off as they come, on a
// chip of its own, with no song. The web page's keyboard (on screen, the
// computer's keys, a MIDI keyboard) plays the voice being edited through it.
//
// Notes are numbered as MIDI numbers them (60 is octave 4's C, 69 the A of
// 440 Hz) and sound at the sequencer's pitches for the same notes (`o4 a` is
// note 69), on the chip's blocks 0-7: notes beyond them are refused. Up to three notes
// sound at once, one per FM channel, the oldest giving way; a voice with a
// channel-3 ratio other than ×1 plays one note at a time on channel 3, the
// only channel where ratios sound, as a song's part 3 plays it.
//
// Deliberate choices: a note's volume 0..15 (a MIDI velocity / 8) sets the
// carriers' levels as the part volume `v` does; a new voice is written at
// once, also under the notes that sound. Not thread-safe: one thread calls
// everything (the web page's audio thread).

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "song/FMVoice.h"

namespace FM {
class OPN;
}
namespace sequencer {
class FMController;
}

namespace playback {

class Audition {
  public:
    static constexpr int kLowestNote = 12;    // block 0's C
    static constexpr int kHighestNote = 107;  // block 7's B

    explicit Audition(uint32_t rate);
    ~Audition();
    Audition(const Audition&) = delete;
    Audition& operator=(const Audition&) = delete;

    void SetVoice(const song::FMVoice& voice);
    // False when the note is outside kLowestNote..kHighestNote.
    bool NoteOn(int note, int volume);
    void NoteOff(int note);
    void AllNotesOff();
    // Adds `count` stereo frames to `frames`, saturating, as the chip mixes.
    void Mix(int16_t* frames, int32_t count);
    // The notes that sound, for the page; -1 in free channels.
    const std::array<int, 3>& Notes() const { return notes_; }

    // How operator `op` (0-3, in the voice's order) of `voice` attenuates a
    // note held for `holdFrames` and then released: the chip model's envelope
    // output (attenuation in 1/256 octave steps of 8, 0 loudest, 8184 silent,
    // total level included) that each of `points` frames spaced `step`
    // apart from the key-on (frame 0) sounds with, at `rate`, on channel 1. Empty for a note the
    // chip cannot play or an operator, step or count out of range.
    static std::vector<int32_t> Envelope(const song::FMVoice& voice, int op, int note,
                                         uint32_t rate, int64_t holdFrames, int64_t step,
                                         int32_t points);

  private:
    int ChannelFor(int note);
    void Play(int channel, int note, int volume);

    std::unique_ptr<FM::OPN> chip_;
    std::unique_ptr<sequencer::FMController> fm_;
    song::FMVoice voice_{};
    std::array<int, 3> notes_{-1, -1, -1};
    std::array<uint64_t, 3> started_{};  // when each channel's note began, in notes played
    uint64_t played_ = 0;
};

}  // namespace playback
