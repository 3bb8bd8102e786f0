#pragma once
// Finds where a song's register writes start repeating, from a recording.
//
// The writes repeat from tick F with period P when every tick t >= F writes
// what tick t + P writes. The search looks at periods that are multiples of
// a base the caller derives from the music (the least common multiple of the
// parts' loop lengths), up to kMaxMultiple of it, and takes the first whose
// repetition the recording shows over at least one whole period after F.
// That period is then cut down to the shortest one that divides it and still
// holds over [F, F + P): since the whole stream repeats with the longer
// period, the shorter one holds for ever too. The start is the earliest
// possible: any period of the same stream gives the same earliest start.

#include <cstdint>
#include <functional>
#include <optional>

#include "reglog/SongRecording.h"

namespace reglog {

struct Repeat {
    int64_t startTick = 0;
    int64_t periodTicks = 0;
};

class LoopFinder {
  public:
    static constexpr int kMaxMultiple = 256;

    // Looks through the ticks recorded so far. `base` must be at least 1.
    // `poll`, when set, is called between comparisons (each a pass over the
    // recording at most); it may throw to stop the search.
    static std::optional<Repeat> Find(const SongRecording& recording, int64_t base,
                                      const std::function<void()>& poll = {});

    // The last tick t in [from, to) that writes differently from tick
    // t + shift, or none. Ticks at or after the recording's end count as
    // writing nothing, so callers keep t + shift below Ticks().
    static std::optional<int64_t> LastMismatch(const SongRecording& recording, int64_t shift,
                                               int64_t from, int64_t to);
};

}  // namespace reglog
