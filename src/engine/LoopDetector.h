#pragma once
// Finds where a song's loops end by running its sequencer ahead, tick by
// tick, without mixing any audio.
//
// Every used part of a song plays in an endless loop; a "pass" is one trip
// through it (the first pass includes whatever comes before the loop). A
// pass ends where its last note, rest or wait ends, as the sequencer reports
// it. A part whose commands run out stops where its last note, rest or wait
// ends (the sequencer plays that note out first); from that tick on it counts
// as having finished the pass it was in and every later one.
//
// A pass repeats only when it leaves as many macro calls and loops pending
// as the one before it. A "}" that leaves a macro for a loop start outside
// it leaves the call pending, so such a part nests deeper with every pass
// until the nesting limit of a part's flow (sequencer/Flow.h) stops it: the
// search follows it to that stop rather than taking its first passes for a
// loop. The passes and stops are the sequencer's own, so the search, `info`
// and playback agree by construction.

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "song/Song.h"

namespace engine {

class Engine;

// What the detector needs of a sequencer. Parts are 0 to 5.
class TickSource {
  public:
    virtual ~TickSource() = default;

    virtual void Tick() = 0;                        // runs one tick, mixes nothing
    virtual int64_t TicksRun() const = 0;           // ticks run since the start
    virtual bool IsPartUsed(int part) const = 0;    // the song has commands for it
    virtual bool IsPartActive(int part) const = 0;  // still playing
    virtual int64_t PassesCompleted(int part) const = 0;
    virtual int64_t LastPassEndTick(int part) const = 0;  // where the latest pass ended
    // Macro calls and loops pending when the latest pass ended.
    virtual int64_t LastPassNesting(int /*part*/) const { return 0; }
};

struct PartLoops {
    bool used = false;
    std::vector<int64_t> passEnds;   // tick at which pass 1, 2, ... ended; none when
                                     // every pass nested deeper until the part stopped
    std::optional<int64_t> stopped;  // tick on which the part stopped (its last note ended)
};

struct LoopReport {
    std::array<PartLoops, song::kPartCount> parts;
    // Tick by which every used part has ended the wanted passes or stopped;
    // 0 for a song in which no part advances. Unset when the search limit was
    // reached first.
    std::optional<int64_t> endTick;
    // Song-wide pass boundaries: entry k is the tick by which every used part
    // has ended k + 1 passes (or stopped). As many entries as were found.
    std::vector<int64_t> songPassEnds;
};

class LoopDetector {
  public:
    // Runs `source` from its current tick until every used part has ended
    // `passes` passes or stopped, or until `maxTicks` ticks have run.
    static LoopReport Run(TickSource& source, int32_t passes, int64_t maxTicks);

    // Runs `ahead` on from where it stands, tick by tick without mixing
    // (Engine::SkipTick): a fresh engine of the song at the render's rate
    // finds the ticks at which that render's passes end. The engine is used
    // up for rendering until it is restarted. `poll`, when set, is called
    // every few thousand ticks (a few milliseconds); it may throw to stop
    // the search.
    static LoopReport Run(Engine& ahead, int32_t passes, int64_t maxTicks,
                          const std::function<void()>& poll = {});
};

}  // namespace engine
