#pragma once
// Every note a song plays, part by part, as the engine plays it: where it
// starts and how long it is in ticks, its pitch as the chip sounds it (a
// MIDI key and cents), its volume and voice, whether it is tied on, and the
// command that played it with the macro calls it was reached through. The
// notes of `info --notes`, the MIDI export and a front end's timeline.

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "playback/TickMap.h"
#include "song/Command.h"
#include "song/Song.h"

namespace playback {

// A change of pitch while a note sounds (vibrato, portamento): from `tick`
// on, `cents` away from the note's key.
struct PitchChange {
    int64_t tick = 0;
    double cents = 0.0;
};

struct Note {
    int part = 0;       // 0..5: FM 1-3, SSG A-C
    int64_t tick = 0;   // the tick it starts in
    int64_t ticks = 0;  // its length
    double hertz = 0.0;
    int key = 0;         // the nearest MIDI key (60 = C4, 261.63 Hz), 0..127
    double cents = 0.0;  // from that key to `hertz`, -50..50 within the keys' range
    int32_t volume = 0;  // 0..15
    int32_t voice = 0;
    bool tied = false;  // goes on into the next note without a new attack
    const song::Command* command = nullptr;
    std::vector<const song::Command*> calls;  // the "$" calls, outermost first
    std::vector<PitchChange> bends;           // pitch changes after its start
};

struct NoteList {
    std::vector<Note> notes;  // by start tick, then by part
    int64_t endTick = 0;      // the notes cover ticks 0 up to here
    // Where the first whole loop of every part ends: the point at which the
    // song repeats. Unset when the list ends elsewhere (a length asked for).
    std::optional<int64_t> loopTick;
    uint32_t rate = 44100;
    int32_t framesPerTick = 1;  // of the first tick
    TickMap ticks;              // where each tick starts, through endTick
};

// The notes over the song's first whole loop (every used part through its
// first pass, or stopped), found within `maxSeconds`; or over `seconds`
// when set. Played at `rate`, whose tick lengths (the song's tempo map) fix
// the times.
NoteList ListNotes(const std::shared_ptr<const song::Song>& song, uint32_t rate,
                   std::optional<double> seconds, double maxSeconds);

// The time at which `tick` starts: the one place that turns the list's ticks
// into seconds.
double SecondsOfTick(const NoteList& list, int64_t tick);

// The quarter note's length in microseconds (16 ticks) at the tempo of `tick`.
double MicrosecondsPerQuarter(const NoteList& list, int64_t tick);

// The nearest MIDI key to `hertz` and the cents from it.
struct KeyAndCents {
    int key = 0;
    double cents = 0.0;
};
KeyAndCents KeyOf(double hertz);

}  // namespace playback
