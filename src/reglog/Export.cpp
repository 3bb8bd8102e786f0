#include "reglog/Export.h"

#include <algorithm>
#include <numeric>

#include "engine/LoopDetector.h"
#include "playback/TickMap.h"
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
// Multiples of the loops' line-up tried for a period in which the tempo
// repeats as well as the writes.
constexpr int64_t kTempoPeriods = 4;

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

using playback::TickMap;

// The commands of the ticks up to sample `end`: the start-up writes, then
// each tick's writes and its wait, as long as `ticks` says the tick lasts.
// The writes of the tick that starts exactly at `end` are included when
// `endWrites`; the loop point goes before tick `loopTick`.
RegisterLog BuildLog(const SongRecording& recording, const TickMap& ticks, int64_t end,
                     bool endWrites, std::optional<int64_t> loopTick,
                     const std::function<void()>& poll) {
    RegisterLog log;
    for (const RegisterWrite& w : recording.Startup()) {
        log.commands.push_back(LogCommand::Write(w.address, w.data));
    }
    const auto& groups = recording.Groups();
    auto group = groups.begin();
    int64_t start = 0;
    for (int64_t tick = 0;; ++tick) {
        const int64_t perTick = ticks.FramesPerTickAt(tick);
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
        start += perTick;
    }
    return log;
}

// The ticks a run must have made to build a log up to sample `end`.
int64_t TicksFor(int64_t end, const TickMap& ticks) {
    return ticks.TickOfFrame(end) + 1;
}

// The first tick boundary from `stop` at which the chip is silent when the
// log is played, or the log's end: the log holds the ticks from `stop` on,
// each with its own wait.
int64_t SilentFrom(const RegisterLog& log, int64_t stopTick, const TickMap& ticks,
                   const std::function<void()>& poll) {
    LogPlayer player(std::make_shared<RegisterLog>(log), kLogRate);
    const int64_t end = log.TotalSamples();
    std::vector<int16_t> frames(static_cast<std::size_t>(LogPlayer::kSpanFrames) * 2);
    for (int64_t tick = stopTick;; ++tick) {
        const int64_t boundary = std::min(ticks.FrameOfTick(tick), end);
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

SongExport Limited(SongRecording& recording, const TickMap& ticks, ExportReport report,
                   int64_t samples, const std::function<void()>& poll) {
    RunTo(recording, TicksFor(samples, ticks), poll);
    SongExport result{BuildLog(recording, ticks, samples, true, std::nullopt, poll),
                      std::move(report)};
    return result;
}

double SecondsBetween(const TickMap& ticks, int64_t from, int64_t to) {
    return static_cast<double>(ticks.FrameOfTick(to) - ticks.FrameOfTick(from)) / kLogRate;
}

// Where a loop of `period` ticks whose writes repeat from `start` can begin
// so that the tempo repeats too: every tick from there up to `lookTicks`
// lasts as long as the one a period later, for two periods at least.
// Nothing when the tempo never settles into the period.
std::optional<int64_t> TempoRepeatStart(const TickMap& ticks, int64_t start, int64_t period,
                                        int64_t lookTicks) {
    if (ticks.Uniform()) return start;
    int64_t from = start;
    for (int64_t tick = start; tick + period < lookTicks; ++tick) {
        if (ticks.FramesPerTickAt(tick) != ticks.FramesPerTickAt(tick + period)) from = tick + 1;
    }
    if (from + 2 * period > lookTicks) return std::nullopt;
    return from;
}

}  // namespace

SongExport ExportSong(std::shared_ptr<const song::Song> song, const ExportSettings& settings) {
    const TickMap ticks = TickMap::OfSong(
        song, kLogRate, settings.samples.value_or(settings.maxSamples) + kLongestTail,
        TickMap::kNoTickLimit, settings.poll);
    SongRecording recording(std::move(song));
    ExportReport report;
    report.framesPerTick = recording.FramesPerTick();
    if (settings.samples) {
        report.ending = ExportReport::Ending::kFixed;
        return Limited(recording, ticks, report, *settings.samples, settings.poll);
    }

    const int64_t maxTicks = ticks.TickOfFrame(settings.maxSamples);
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
        if (part.passEnds.size() >= 2) {
            entry.loopTicks = part.passEnds[1] - part.passEnds[0];
            entry.loopSeconds = SecondsBetween(ticks, part.passEnds[0], part.passEnds[1]);
        }
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
        report.reason = loops.tempoDrifts ? ExportReport::Reason::kTempoDrifts
                                          : ExportReport::Reason::kUnfinished;
        return Limited(recording, ticks, report, settings.maxSamples, settings.poll);
    }
    if (!anyLoops) {
        // Every part stops: on to where the chip falls silent, so a player
        // that stops at the log's end plays the last notes' release.
        report.ending = ExportReport::Ending::kStops;
        const int64_t stop = ticks.FrameOfTick(*loops.endTick);
        RunTo(recording, TicksFor(stop + kLongestTail, ticks), settings.poll);
        const int64_t end = SilentFrom(
            BuildLog(recording, ticks, stop + kLongestTail, true, std::nullopt, settings.poll),
            *loops.endTick, ticks, settings.poll);
        return {BuildLog(recording, ticks, end, true, std::nullopt, settings.poll), report};
    }
    const int64_t lookTicks = std::min(maxTicks, kMaxLookTicks);
    if (tooLong || expectedStart + 2 * base > lookTicks) {
        report.reason = ExportReport::Reason::kTooLong;
        report.lineUpTicks = tooLong ? 0 : base;
        if (!tooLong)
            report.lineUpSeconds = SecondsBetween(ticks, expectedStart, expectedStart + base);
        return Limited(recording, ticks, report, settings.maxSamples, settings.poll);
    }

    // The repetition must hold through everything looked at, up to the limit:
    // an effect slower than the loops (a vibrato across tied notes, say)
    // breaks it late.
    RunTo(recording, lookTicks, settings.poll);
    auto repeat = LoopFinder::Find(recording, base, settings.poll);
    if (repeat && !ticks.Uniform()) {
        // The writes may repeat sooner than the tempo (a silent stretch):
        // the period of the loops', or a few of them, is where to look.
        std::optional<int64_t> start =
            TempoRepeatStart(ticks, repeat->startTick, repeat->periodTicks, lookTicks);
        const int64_t lineUp = std::lcm(repeat->periodTicks, base);
        for (int64_t k = 1; !start && k <= kTempoPeriods; ++k) {
            Poll(settings.poll);
            start = TempoRepeatStart(ticks, repeat->startTick, lineUp * k, lookTicks);
            if (start) repeat->periodTicks = lineUp * k;
        }
        if (!start) {
            report.reason = ExportReport::Reason::kTempoDrifts;
            return Limited(recording, ticks, report, settings.maxSamples, settings.poll);
        }
        repeat->startTick = *start;
    }
    if (repeat) {
        report.ending = ExportReport::Ending::kLoop;
        report.loopStartTick = repeat->startTick;
        report.loopTicks = repeat->periodTicks;
        const int64_t end = ticks.FrameOfTick(repeat->startTick + repeat->periodTicks);
        return {BuildLog(recording, ticks, end, false, repeat->startTick, settings.poll), report};
    }
    report.reason = ExportReport::Reason::kNoRepeat;
    return Limited(recording, ticks, report, settings.maxSamples, settings.poll);
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
