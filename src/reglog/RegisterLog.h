#pragma once
// A register log as data: what a song writes to one YM2203 and when, as the
// VGM and S98 files store it, with the loop point a player repeats from and
// the file's tags.
//
// Time is counted in samples of 1/44100 s (kLogRate), whatever rate the log
// is played at. The commands are kept exactly as written: consecutive waits
// stay separate, because velnari's own logs cut a wait wherever the chip's
// mix was cut when the song played (see LogPlayer.h).

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "song/Song.h"

namespace reglog {

inline constexpr uint32_t kLogRate = 44100;            // samples per second of a log's waits
inline constexpr int64_t kMaxLogSamples = 0xFFFFFFFF;  // longest log: what a VGM header can say
inline constexpr uint32_t kMinClock = 1000000;         // Hz, the clocks a log may name
inline constexpr uint32_t kMaxClock = 8000000;

struct LogCommand {
    enum class Kind : uint8_t { kWrite, kWait };

    Kind kind = Kind::kWrite;
    uint8_t address = 0;   // kWrite: register 0x00-0xFF (0x00-0x0F are the SSG's)
    uint8_t data = 0;      // kWrite
    uint32_t samples = 0;  // kWait: 1/44100 s

    static LogCommand Write(uint8_t address, uint8_t data) {
        return {Kind::kWrite, address, data, 0};
    }
    static LogCommand Wait(uint32_t samples) { return {Kind::kWait, 0, 0, samples}; }

    friend bool operator==(const LogCommand&, const LogCommand&) = default;
};

// Text that travels with a log, in UTF-8. Empty means unknown.
struct LogTags {
    std::string title;
    std::string author;
    std::string game;    // read from files only
    std::string system;  // read from files only
    std::string date;    // "yyyy", "yyyy/mm" or "yyyy/mm/dd"
    std::string maker;   // the program that made the file, with its version
    std::string notes;   // may hold line breaks ('\n')

    friend bool operator==(const LogTags&, const LogTags&) = default;
};

// Where a log came from, for `info`: the container and its version.
struct LogOrigin {
    std::string format;  // the format and its version: "VGM 1.71", "S98 3"
    bool gzipped = false;
    uint64_t fileBytes = 0;  // as read (compressed for .vgz)
    uint64_t dataBytes = 0;  // after decompression
    std::string timer;       // S98: "1/44100 s"; VGM: empty (always 1/44100 s)
};

struct RegisterLog {
    uint32_t clock = song::kChipClock;  // Hz
    std::vector<LogCommand> commands;   // in order; playback starts with the chip reset
    // Index into `commands` where the loop starts; the log repeats
    // [loopStart, end) for ever. Unset: the log plays once.
    std::optional<std::size_t> loopStart;
    LogTags tags;

    int64_t TotalSamples() const;     // sum of every wait
    int64_t LoopStartSample() const;  // waits before the loop point (TotalSamples without one)
    int64_t LoopSamples() const;      // waits from the loop point to the end; 0 without one
    std::size_t WriteCount() const;
};

// What reading a log file gives: the log and where it came from, or a fault
// that says what is wrong with the file (one line, for the user). A file
// whose music is intact but some other part damaged (its tag, its loop
// point, bytes after its compressed data) is read with a warning for each
// such part, one line each, in the words a fault would use.
struct LogReadResult {
    std::optional<RegisterLog> log;
    LogOrigin origin;
    std::string fault;  // empty when `log` is set
    std::vector<std::string> warnings;
};

// The warning for a loop without waits, which the readers drop.
inline constexpr char kLoopWithoutWaits[] =
    "the loop holds no waits, so it would never end; the log plays once";

}  // namespace reglog
