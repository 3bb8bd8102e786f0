#pragma once
// The second half of the warnings pass: each used part followed through its
// compiled commands the way the sequencer plays it (macro calls, loops with
// their counts, the part's own endless loop), carrying the settings that
// decide what a command does there (octave, detune, vibrato, the voice or
// envelope selected, hardware-envelope mode). Finds what only the playing
// order shows: a voice or envelope that is not defined on the part that
// selects it, notes before any voice, SSG pitches the chip cannot play,
// commands on the wrong kind of part, macros that call themselves, parts
// with nothing to play. Also checks each list as written: loop brackets,
// ties, commands after an endless loop, calls of macros never defined.
//
// The walk is the sequencer's own (sequencer/Flow.h), so it reaches the
// commands the sequencer plays, in its order; `observer`, when set, is told
// each of them as the walk reaches it.

#include "mml/WarningSink.h"
#include "sequencer/Flow.h"
#include "song/Song.h"

namespace Tarsel {

void WalkParts(const song::Song& song, const CommandPlaces& places, WarningSink& sink,
               sequencer::CommandObserver* observer = nullptr);

}  // namespace Tarsel
