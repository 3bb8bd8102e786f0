#pragma once
// Playback state of one part: where its commands are, what it plays, and its
// effect settings. Times are tick numbers or counts of ticks.

#include <cstdint>

#include "sequencer/Flow.h"

namespace sequencer {

struct PartState {
    FlowStacks flow;         // pending macro returns and open loops
    CommandCursor position;  // the next command

    // Tick numbers are 64-bit: a piece never ends, and a length may be as long
    // as 2^31 - 1 ticks, so 32-bit tick sums could overflow.
    int64_t nextEvent = 0;   // tick at which the next command is due
    int64_t noteStart = 0;   // tick at which the current note began (kept across ties)
    int64_t keyOffTick = 0;  // from this tick on the channel is keyed off every tick

    int32_t octave = 4;
    int32_t transpose = 0;      // semitones added to every note (-96..96)
    int32_t noteShift = 0;      // octaves the transposition moved the current note by
    int32_t prevOctave = 4;     // octave where a portamento starts
    int32_t volume = 15;        // 0..15
    int32_t freq = 0;           // F-number (FM) or tone period (SSG), detune included
    int32_t prevFreq = 0;       // pitch where a portamento starts; 0 = no note yet
    bool softEnvelope = false;  // SSG: the software envelope voiceNumber is applied
    int32_t voiceNumber = 0;    // last "@": FM voice or SSG envelope number
    int32_t defaultLength = 64;
    int32_t detune = 0;           // 1/3060 octave
    int32_t gate = 8;             // sounding part of a note, in eighths of its length
    int32_t portaLength = 0;      // ticks; 0 = off
    int32_t vibPeriod = 0;        // half-period in ticks; 0 = off
    int32_t vibDepth = 0;         // 1/3060 octave
    int32_t vibDelay = 0;         // ticks after the note start
    int32_t tremPeriod = 0;       // half-period in ticks; 0 = off
    int32_t tremDepth = 0;        // volume steps
    int32_t tremDelay = 0;        // ticks after the note start
    bool tied = false;            // the current note continues into the next one
    bool active = false;          // the part is playing
    bool loopedThisCall = false;  // an endless loop closed during this command run
    bool flowEnded = false;       // the commands ran out after the current note: stop at its end

    // Loop bookkeeping for tools; playback never reads it.
    int64_t passes = 0;       // closes of an endless loop so far
    int64_t passEndTick = 0;  // tick at which the latest pass ended musically
    // Macro returns and loops pending when the latest pass closed. A "}" that
    // leaves a macro for a loop start outside it leaves the call pending, so
    // this grows pass by pass until the nesting limit stops the part.
    int64_t passNesting = 0;

    // The octave the current note sounds in: the part's octave, moved with
    // the note by its transposition.
    int32_t NoteOctave() const { return octave + noteShift; }
};

}  // namespace sequencer
