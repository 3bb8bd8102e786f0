#pragma once
// A song as a register log: every write the sequencer makes, start-up
// included, with waits of 1/44100 s, for a YM2203 at song::kChipClock.
//
// By default the log holds the song up to the end of its first whole-song
// loop and marks where that loop starts, so a player repeats it seamlessly:
// the loop starts on a tick boundary (before that tick's writes) at the
// earliest tick from which the writes repeat, with the shortest period they
// repeat with (LoopFinder.h). The search looks through the song up to the
// limit (which must cover every part's first two passes and two whole-song
// loops) and keeps a loop only if the writes repeat through all of it. A song
// in which every part stops has no loop; its log runs on past the writes made
// where the last part stops, tick by tick, until the chip is silent
// (FM::OPN::Silent: the last notes' release is over), at most 10 s, so that a
// player that stops at the end of the data plays the whole release.
//
// Every tick gets a wait command of its own, also where nothing is written
// (after every part has stopped, for example), because the sequencer cuts
// the chip's mix at every tick boundary, and where it mixes is part of the
// sound. LogPlayer cuts each wait into spans from the wait's start, as the
// sequencer cuts each tick, so played at 44100 Hz the log gives the song's
// own bytes. A tick longer than one VGM wait command can hold is split at a
// whole number of spans. Other players just add the waits up.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "reglog/Formats.h"
#include "reglog/RegisterLog.h"
#include "song/Song.h"

namespace reglog {

struct ExportSettings {
    std::optional<int64_t> samples;                // exactly this long, without a loop point
    int64_t maxSamples = int64_t{600} * kLogRate;  // how far to look for the loop
    // Called again and again while the export works, at least every few
    // milliseconds in every phase (the loop search, the recording, building
    // the log); a caller that must stop the export (a signal) throws from it,
    // and the exception leaves ExportSong with nothing kept.
    std::function<void()> poll;
};

// How the log ends, and for a loop search that failed, why.
struct ExportReport {
    enum class Ending {
        kLoop,   // a loop point; the log ends where the loop comes round
        kStops,  // every part stops; the log ends when the chip is silent
        kFixed,  // ExportSettings::samples
        kLimit,  // no loop within maxSamples: that much, without a loop point
    };
    enum class Reason {
        kNone,
        kUnfinished,   // some part does not end two passes within the limit
        kTooLong,      // the parts' loops line up only after the limit
        kNoRepeat,     // the loops line up, but the writes do not repeat
        kTempoDrifts,  // the writes repeat, but the tempo differs on every pass
    };
    struct PartLoop {
        int part = 0;              // 0..5
        int64_t loopTicks = 0;     // length of its second pass; 0 if it has none
        double loopSeconds = 0.0;  // that pass as played, at its tempos
        bool stops = false;
    };

    Ending ending = Ending::kFixed;
    Reason reason = Reason::kNone;
    int32_t framesPerTick = 0;    // at 44100 Hz
    int64_t loopStartTick = 0;    // kLoop
    int64_t loopTicks = 0;        // kLoop
    std::vector<PartLoop> parts;  // the used parts, with their loop lengths
    int64_t lineUpTicks = 0;      // kTooLong: the least common multiple of the loops
    double lineUpSeconds = 0.0;   // kTooLong: those ticks as played, from where every loop runs
};

struct SongExport {
    RegisterLog log;  // tags left empty for the caller
    ExportReport report;
};

SongExport ExportSong(std::shared_ptr<const song::Song> song, const ExportSettings& settings);

// A log as the bytes of a file in `format` (Formats.h), a compressed format's
// passed through `compress` (GzipCompress for .vgz; the caller supplies it,
// so this file needs no zlib and the web page's build can write logs); or,
// for a log that velnari would refuse to read back, no bytes and a one-line
// fault that names its size (more than `maxBytes`, the reader's limit, before
// any compression) or its densest second (WriteRate.h). A compressed format
// without a compressor is a fault too.
struct LogFile {
    std::vector<uint8_t> bytes;
    std::string fault;
};
// `poll`, when set, is called every few thousand commands (it may throw to
// stop the writing).
LogFile WriteLogFile(const RegisterLog& log, const LogFileFormat& format,
                     const Compressor& compress = {}, std::size_t maxBytes = kMaxLogBytes,
                     const std::function<void()>& poll = {});

}  // namespace reglog
