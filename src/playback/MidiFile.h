#pragma once
// A song's notes as a Standard MIDI File of type 1: a first track named for
// the song's title, with the tempo at each change of the song's tempo map,
// the loop point (a marker) and the song's texts, then a track per
// used part named for it ("FM 1" .. "SSG C") on a channel of its own. A
// quarter note is 16 ticks, the song's own, so every note lies on its tick.
//
// Each note plays at its key; detune, vibrato and portamento are pitch bends
// over a range of kBendSemitones (stated with RPN 0), the volume is
// controller 7 (0..15 as 0..127), an "@" up to 127 a program change, a
// larger one a text event. A tied note on the same key goes on without a
// new attack. The FM voices' sound and the SSG's hardware envelope have no
// MIDI form.

#include <cstdint>
#include <string>
#include <vector>

#include "playback/NoteList.h"

namespace playback {

inline constexpr int kBendSemitones = 12;

// The part's track name: "FM 1" .. "FM 3", "SSG A" .. "SSG C".
std::string PartName(int part);

// `title`, when not empty, names the first track; `texts` become text
// events on it, in order.
std::vector<uint8_t> MidiFile(const NoteList& list, const std::string& title,
                              const std::vector<std::string>& texts);

}  // namespace playback
