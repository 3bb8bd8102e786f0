#pragma once
// How many register writes a log may ask for in one second of output.
//
// A player does work for every write, however short the wait between them,
// so a log that writes faster than any song can would keep a player busy for
// hours per second of sound. The bound is what velnari's sequencer can write
// at most, derived from its flow limit:
//   - a part takes at most kMinStepBudget commands in a tick of one sample
//     (the shortest tick at kLogRate); longer ticks allow more, up to
//     kStepBudget, but only kStepsPerFrame per frame of the tick at kMaxRate,
//     about 12.3 million a second, fewer than kLogRate one-sample ticks of
//     kMinStepBudget (45.2 million);
//   - one command writes at most kMaxWritesPerCommand registers (a voice
//     change: the algorithm, six registers of each operator and the levels);
//   - a tick adds at most kMaxTickWrites of its own per part (key-off,
//     effects, the registers the player rewrites every tick);
//   - the six parts; and the start-up writes once, at sample 0.
// Writes are counted in every second of output (any kLogRate consecutive
// samples), with each pass of the loop that second holds, never per sample:
// velnari's own logs put a whole tick's writes on one sample.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "reglog/RegisterLog.h"
#include "sequencer/Sequencer.h"
#include "song/Song.h"

namespace reglog {

inline constexpr int64_t kMaxWritesPerCommand = 29;
inline constexpr int64_t kMaxTickWrites = 64;
inline constexpr int64_t kMaxStartupWrites = 1024;
inline constexpr int64_t kMaxWritesPerSecond =
    int64_t{kLogRate} * song::kPartCount *
        (int64_t{sequencer::Sequencer::kMinStepBudget} * kMaxWritesPerCommand + kMaxTickWrites) +
    kMaxStartupWrites;

// The densest second of a log beyond the bound: the command that starts it
// (an index into RegisterLog::commands) and the writes it holds.
struct WriteFlood {
    std::size_t command = 0;
    int64_t writes = 0;
};

// The densest second of output holding more than `limit` writes, or none.
// The log is followed through its intro and its loop repeated for as long
// as a second that starts in the first pass lasts. Takes time in proportion
// to the log's waits, plus at most kLogRate steps.
std::optional<WriteFlood> FindWriteFlood(const RegisterLog& log,
                                         int64_t limit = kMaxWritesPerSecond);

// "asks for N register writes in one second of output from WHERE, more than
// any song makes (...)", for a fault; `where` may be empty.
std::string FloodText(const WriteFlood& flood, const std::string& where = "");

}  // namespace reglog
