#include "reglog/Export.h"

#include <algorithm>
#include <numeric>

#include "engine/LoopDetector.h"
#include "reglog/LogPlayer.h"
#include "reglog/LoopFinder.h"
#include "reglog/SongRecording.h"
#include "reglog/WriteRate.h"

namespace reglog {

namespace {

constexpr int32_t kPasses = 2;  // looked through, at least, for every part
// Ticks looked through at most, whatever the limit in seconds: songs at
// tempos that make a tick a few frames long would otherwise take memory for
// millions of ticks.
constexpr int64_t kMaxLookTicks = int64_t{1} << 22;
// A common multiple of the parts' loops beyond this many ticks is not worked
// out (it could overflow); it lies far beyond any limit anyway.
constexpr int64_t kLongestLineUp = int64_t{1} << 40;

// The longest wait command written: a whole number of the sequencer's spans
// (so a player that cuts each wait into spans from its start cuts where the
// sequencer did) that one VGM wait command can hold.
constexpr int64_t kLongestWait = (0xFFFF / LogPlayer::kSpanFrames) * LogPlayer::kSpanFrames;

// After every part has stopped, the log runs on until the chip is silent
// (the release of the last notes), at most this long.
constexpr int64_t kLongestTail = int64_t{10} * kLogRate;

// Ticks between two polls while recording or building: a few milliseconds of
// work at most.
constexpr int64_t kTicksPerPoll = 4096;

void Poll(const std::function<void()>& poll) {
    if (poll) poll();
}

// The commands of ticks [0, end / framesPerTick] up to sample `end`: the
// start-up writes, then each tick's writes and its wait. The writes of the tick that starts exactly
// at `end` are included when `endWrites`; the loop point goes before tick `loopTick`.
RegisterLog BuildLog(const SongRecording& recording, int64_t end, bool endWrites,
                     std::optional<int64_t> loopTick, const std::function<void()>& poll) {
    RegisterLog log;
    for (const RegisterWrite& w : recording.Startup()) {
        log.commands.push_back(LogCommand::Write(w.address, w.data));
    }
    const int64_t perTick = recording.FramesPerTick();
    const auto& groups = recording.Groups();
    auto group = groups.begin();
    for (int64_t tick = 0;; ++tick) {
        const int64_t start = tick * perTick;
        if (start > end || (start == end && !endWrites)) break;
        if (tick % kTicksPerPoll == 0) Poll(poll);
        if (loopTick == tick) log.loopStart = log.commands.size();
        while (group != groups.end() && group->tick < tick) ++group;
        if (group != groups.end() && group->tick == tick) {
            const RegisterWrite* w = recording.Writes(*group);
            for (uint32_t i = group->begin; i < group->end; ++i, ++w) {
                log.commands.push_back(LogCommand::Write(w->address, w->data));
            }
        }
        const int64_t length = std::min<int64_t>(perTick, end - start);
        for (int64_t done = 0; done < length; done += kLongestWait) {
            const auto wait = std::min<int64_t>(kLongestWait, length - done);
            log.commands.push_back(LogCommand::Wait(static_cast<uint32_t>(wait)));
        }
        if (start == end) break;
    }
    return log;
}

// The ticks a run must have made to build a log up to sample `end`.
int64_t TicksFor(int64_t end, int64_t perTick) {
    return end / perTick + 1;
}

// The first tick boundary from `stop` at which the chip is silent when the
// log is played, or the log's end: the log holds the ticks from `stop` on,
// each with its own wait.
int64_t SilentFrom(const RegisterLog& log, int64_t stop, int64_t perTick,
                   const std::function<void()>& poll) {
    LogPlayer player(std::make_shared<RegisterLog>(log), kLogRate);
    const int64_t end = log.TotalSamples();
    std::vector<int16_t> frames(static_cast<std::size_t>(LogPlayer::kSpanFrames) * 2);
    for (int64_t boundary = stop;; boundary = std::min(boundary + perTick, end)) {
        while (player.Frame() < boundary) {
            Poll(poll);
            player.Render(frames.data(), static_cast<int32_t>(std::min<int64_t>(
                                             LogPlayer::kSpanFrames, boundary - player.Frame())));
        }
        if (boundary == end || player.Chip().Silent()) return boundary;
    }
}

// Runs the recording to `ticks`, polling between steps.
void RunTo(SongRecording& recording, int64_t ticks, const std::function<void()>& poll) {
    for (;;) {
        Poll(poll);
        const int64_t before = recording.Ticks();
        if (before >= ticks) return;
        recording.RunTo(std::min(ticks, before + kTicksPerPoll));
        if (recording.Ticks() == before) return;  // the engine has nothing more to run
    }
}

SongExport Limited(SongRecording& recording, ExportReport report, int64_t samples,
                   const std::function<void()>& poll) {
    RunTo(recording, TicksFor(samples, recording.FramesPerTick()), poll);
    SongExport result{BuildLog(recording, samples, true, std::nullopt, poll), std::move(report)};
    return result;
}

}  // namespace

SongExport ExportSong(std::shared_ptr<const song::Song> song, const ExportSettings& settings) {
    SongRecording recording(std::move(song));
    const int64_t perTick = recording.FramesPerTick();
    ExportReport report;
    report.framesPerTick = static_cast<int32_t>(perTick);
    if (settings.samples) {
        report.ending = ExportReport::Ending::kFixed;
        return Limited(recording, report, *settings.samples, settings.poll);
    }

    const int64_t maxTicks = settings.maxSamples / perTick;
    const engine::LoopReport loops =
        engine::LoopDetector::Run(recording.Ahead(), kPasses, maxTicks + 1, settings.poll);
    int64_t base = 1;
    int64_t expectedStart = 0;  // where every part is inside its loop, musically
    bool anyLoops = false;
    bool tooLong = false;
    for (int p = 0; p < song::kPartCount; ++p) {
        const engine::PartLoops& part = loops.parts[p];
        if (!part.used) continue;
        ExportReport::PartLoop entry;
        entry.part = p;
        entry.stops = part.stopped.has_value();
        if (part.passEnds.size() >= 2) entry.loopTicks = part.passEnds[1] - part.passEnds[0];
        report.parts.push_back(entry);
        if (entry.stops) {
            expectedStart = std::max(expectedStart, *part.stopped);
        } else if (entry.loopTicks > 0) {
            anyLoops = true;
            expectedStart = std::max(expectedStart, part.passEnds[0] - entry.loopTicks);
            const int64_t g = std::gcd(base, entry.loopTicks);
            if (base / g > kLongestLineUp / entry.loopTicks) {
                tooLong = true;
            } else {
                base = base / g * entry.loopTicks;
            }
        }
    }
    report.ending = ExportReport::Ending::kLimit;
    if (!loops.endTick) {
        report.reason = ExportReport::Reason::kUnfinished;
        return Limited(recording, report, settings.maxSamples, settings.poll);
    }
    if (!anyLoops) {
        // Every part stops: on to where the chip falls silent, so a player
        // that stops at the log's end plays the last notes' release.
        report.ending = ExportReport::Ending::kStops;
        const int64_t stop = *loops.endTick * perTick;
        RunTo(recording, TicksFor(stop + kLongestTail, perTick), settings.poll);
        const int64_t end =
            SilentFrom(BuildLog(recording, stop + kLongestTail, true, std::nullopt, settings.poll),
                       stop, perTick, settings.poll);
        return {BuildLog(recording, end, true, std::nullopt, settings.poll), report};
    }
    const int64_t lookTicks = std::min(maxTicks, kMaxLookTicks);
    if (tooLong || expectedStart + 2 * base > lookTicks) {
        report.reason = ExportReport::Reason::kTooLong;
        report.lineUpTicks = tooLong ? 0 : base;
        return Limited(recording, report, settings.maxSamples, settings.poll);
    }

    // The repetition must hold through everything looked at, up to the limit:
    // an effect slower than the loops (a vibrato across tied notes, say)
    // breaks it late.
    RunTo(recording, lookTicks, settings.poll);
    if (const auto repeat = LoopFinder::Find(recording, base, settings.poll)) {
        report.ending = ExportReport::Ending::kLoop;
        report.loopStartTick = repeat->startTick;
        report.loopTicks = repeat->periodTicks;
        const int64_t end = (repeat->startTick + repeat->periodTicks) * perTick;
        return {BuildLog(recording, end, false, repeat->startTick, settings.poll), report};
    }
    report.reason = ExportReport::Reason::kNoRepeat;
    return Limited(recording, report, settings.maxSamples, settings.poll);
}

LogFile WriteLogFile(const RegisterLog& log, const LogFileFormat& format,
                     const Compressor& compress, std::size_t maxBytes,
                     const std::function<void()>& poll) {
    LogFile file;
    const LogFileFormat* written = format.compressed ? LogFileFormatNamed(format.holds) : &format;
    if (format.compressed && !compress) {
        file.fault = "no compressor for " + std::string(format.name) + " files";
        return file;
    }
    if (const auto flood = FindWriteFlood(log)) {
        file.fault = "the log " + FloodText(*flood);
        return file;
    }
    Poll(poll);
    std::vector<uint8_t> bytes = written->write(log, poll);
    if (bytes.size() > maxBytes) {
        file.fault = "the log would be " + std::to_string(bytes.size()) + " bytes" +
                     (format.compressed ? " before compression" : "") + ", more than the " +
                     (maxBytes >= (1u << 20) ? std::to_string(maxBytes >> 20) + " MiB"
                                             : std::to_string(maxBytes) + " bytes") +
                     " that velnari reads";
        return file;
    }
    file.bytes = format.compressed ? compress(bytes) : std::move(bytes);
    return file;
}

}  // namespace reglog
