#include "commands/LogCommands.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <vector>

#include "CliError.h"
#include "commands/SongFile.h"
#include "live/Interrupt.h"
#include "options/PlaybackOptions.h"
#include "output/PlayThrough.h"
#include "output/RawSink.h"
#include "output/SndFileSink.h"
#include "output/WriteFailure.h"
#include "playback/RenderPlan.h"
#include "playback/RenderTiming.h"
#include "playback/Renderer.h"
#include "playback/StartPosition.h"
#include "reglog/Export.h"
#include "reglog/Gzip.h"
#include "reglog/LogPlayer.h"
#include "reglog/LogReader.h"
#include "report/LogInfo.h"
#include "report/Progress.h"
#include "report/SongInfo.h"
#include "velnari/Version.h"

// Deliberate choices:
// - A log's --loops counts trips through the log's loop: the render plays to
//   the loop's end N times, then fades. A log without a loop plays to its
//   end, then fades, as a song that stops does.
// - Past the end of a log without a loop the chip goes on sounding (release
//   tails), as it does after a song stops.

namespace cli {

namespace fs = std::filesystem;

namespace {

using playback::Renderer;
using playback::SecondsToFrames;
using playback::Timing;

void Warn(const std::string& message) {
    std::fprintf(stderr, "velnari: warning: %s\n", message.c_str());
}

std::string Seconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", seconds);
    return text;
}

// "part 2 (…)" or "parts 1 (…), 2 (…) and 4 (…)" for the parts picked, with
// their loop lengths where they have one.
std::string PartList(const std::vector<reglog::ExportReport::PartLoop>& parts,
                     bool (*pick)(const reglog::ExportReport::PartLoop&)) {
    std::vector<std::string> names;
    for (const auto& part : parts) {
        if (!pick(part)) continue;
        std::string name = std::to_string(part.part + 1);
        if (part.loopTicks > 0) {
            name += " (" + std::to_string(part.loopTicks) + " ticks, " + Seconds(part.loopSeconds) +
                    " s)";
        }
        names.push_back(name);
    }
    std::string text = names.size() == 1 ? "part " : "parts ";
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0) text += i + 1 == names.size() ? " and " : ", ";
        text += names[i];
    }
    return text;
}

// Why an export has no loop point, naming the parts and their loops.
std::string NoLoopReason(const reglog::ExportReport& report) {
    using Reason = reglog::ExportReport::Reason;
    using PartLoop = reglog::ExportReport::PartLoop;
    auto looping = [](const PartLoop& p) { return !p.stops && p.loopTicks > 0; };
    switch (report.reason) {
        case Reason::kUnfinished:
            return "no second pass ends for " + PartList(report.parts, [](const PartLoop& p) {
                       return !p.stops && p.loopTicks == 0;
                   });
        case Reason::kTooLong:
            return "the loops of " + PartList(report.parts, looping) + " line up " +
                   (report.lineUpTicks > 0
                        ? "only every " + std::to_string(report.lineUpTicks) + " ticks (" +
                              Seconds(report.lineUpSeconds) + " s), and two whole loops do not fit"
                        : "only after far longer");
        case Reason::kTempoDrifts:
            return "the tempo differs on every pass (a tempo ramp that never returns?), though "
                   "the loops of " +
                   PartList(report.parts, looping) + " line up";
        default:
            return "the register writes do not repeat, though the loops of " +
                   PartList(report.parts, looping) +
                   " line up (an effect running across the loops?)";
    }
}

// Reads a log for render, play or info: a fault ends the command, a damaged
// part of a log that plays is a warning, in the same words for all three.
reglog::LogReadResult ReadLogFile(const std::string& path, const char* verb) {
    reglog::LogReadResult read = reglog::ReadRegisterLogFile(path);
    if (!read.log)
        throw CliError(kExitFailure,
                       std::string("cannot ") + verb + " '" + path + "': " + read.fault);
    for (const std::string& warning : read.warnings) Warn("'" + path + "': " + warning);
    return read;
}

std::shared_ptr<const reglog::RegisterLog> ReadLogToPlay(const std::string& path) {
    return std::make_shared<const reglog::RegisterLog>(std::move(*ReadLogFile(path, "play").log));
}

// How long a log plays: as a song's render is planned, with the log's loop
// for the song's passes.
Timing PlanLogTiming(const std::string& file, const reglog::RegisterLog& log,
                     const MixOptions& mix) {
    const uint32_t rate = mix.rate;
    Timing timing = playback::PlanTiming(LengthOf(mix), [&](int64_t) {
        playback::Passes passes;
        int64_t end = reglog::LogPlayer::FrameOfSample(log.TotalSamples(), rate);
        if (log.loopStart) {
            for (int32_t k = 1; k <= mix.loops; ++k) {
                end = reglog::LogPlayer::FrameOfSample(
                    log.LoopStartSample() + k * log.LoopSamples(), rate);
                passes.passEndFrames.push_back(end);
            }
        }
        passes.endFrame = end;
        return passes;
    });
    if (timing.plan.cut) Warn(CutWarning(file, mix));
    return timing;
}

// A log read and made ready to play as the options ask: its player, and how
// long it plays.
struct LogSession {
    LogSession(const std::string& file, const MixOptions& mix)
        : log(ReadLogToPlay(file)),
          player(log, mix.rate, ResolveVolumes(mix.fmVolume, mix.ssgVolume), mix.chipMask),
          timing(PlanLogTiming(file, *log, mix)) {}

    std::shared_ptr<const reglog::RegisterLog> log;
    reglog::LogPlayer player;
    Timing timing;
};

// The first frame of the output for --start (a log has no ticks: the command
// line refuses --start-tick for one), and the player run ahead to it in
// steps that Ctrl-C can stop; at the end, a warning that there is nothing to
// `what`, and no run ahead. False when interrupted.
bool StartLog(const MixOptions& mix, const playback::RenderPlan& plan, reglog::LogPlayer& player,
              int64_t& start, const char* what) {
    start = playback::StartFrame(StartOf(mix), mix.rate, playback::TickMap(1), plan.totalFrames);
    if (playback::StartsAtTheEnd(start, plan)) {
        Warn(std::string("the start is at or past the end (") +
             FormatDuration(plan.totalFrames, mix.rate) + "); nothing to " + what);
        return true;
    }
    return playback::RunAhead(player, start, Interrupted);
}

}  // namespace

void WriteWholeFile(const std::string& target, const std::vector<uint8_t>& bytes) {
    constexpr std::size_t kPiece = std::size_t{1} << 20;
    const fs::path temporary = SndFileSink::TemporaryFor(target);
    errno = 0;
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    if (file == nullptr) {
        throw CliError(kExitFailure, "cannot write '" + target + "': " + WriteFailure(errno));
    }
    int error = 0;
    bool stopped = false;
    for (std::size_t at = 0; at < bytes.size() && error == 0 && !stopped; at += kPiece) {
        const std::size_t piece = std::min(kPiece, bytes.size() - at);
        errno = 0;
        if (std::fwrite(bytes.data() + at, 1, piece, file) != piece)
            error = errno != 0 ? errno : EIO;
        stopped = Interrupted();
    }
    errno = 0;
    if (std::fclose(file) != 0 && error == 0) error = errno != 0 ? errno : EIO;
    stopped = stopped || Interrupted();
    std::error_code renamed;
    if (error == 0 && !stopped) fs::rename(temporary, target, renamed);
    if (error != 0 || stopped || renamed) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
        if (stopped) throw StoppedWritingNothing();
        throw CliError(kExitFailure, "cannot write '" + target + "': " +
                                         (renamed ? renamed.message() : WriteFailure(error)));
    }
}

int RunExportLog(const RenderOptions& options, const std::string& output) {
    const std::shared_ptr<const song::Song> song =
        CompileSongFile(options.song, options.diagnostics);
    reglog::ExportSettings settings;
    if (options.mix.seconds)
        settings.samples = SecondsToFrames(*options.mix.seconds, reglog::kLogRate);
    settings.maxSamples = SecondsToFrames(options.mix.maxSeconds, reglog::kLogRate);
    settings.poll = StopIfInterrupted;
    reglog::SongExport exported = reglog::ExportSong(song, settings);
    if (exported.report.ending == reglog::ExportReport::Ending::kLimit) {
        Warn("'" + options.song + "' has no loop within " + Seconds(options.mix.maxSeconds) +
             " s: " + NoLoopReason(exported.report) + "; wrote " + Seconds(options.mix.maxSeconds) +
             " s without a loop point (see --max-seconds)");
    }
    StopIfInterrupted();

    reglog::LogTags& tags = exported.log.tags;
    // The options win over the song's tag lines; a song without a title is
    // named after its file (a file name need not be UTF-8; the tags are).
    const song::Tags& written = song->GetTags();
    tags.title = options.tags.title.value_or(
        written.title.empty() ? TextForJson(fs::path(options.song).stem().string())
                              : written.title);
    tags.author = options.tags.author.value_or(written.composer);
    tags.notes = options.tags.notes.value_or(written.notes);
    tags.date = options.tags.date.value_or(written.date);
    tags.maker = std::string("velnari ") + velnari::kVersion;
    // What velnari writes, it reads back.
    const reglog::Compressor gzip = [](const std::vector<uint8_t>& bytes) {
        return reglog::GzipCompress(bytes, StopIfInterrupted);
    };
    const reglog::LogFile file =
        reglog::WriteLogFile(exported.log, *reglog::LogFileFormatOfPath(output), gzip,
                             reglog::kMaxLogBytes, StopIfInterrupted);
    if (!file.fault.empty()) {
        throw CliError(kExitFailure, "cannot write '" + output + "': " + file.fault +
                                         "; use --seconds or --max-seconds for less");
    }
    StopIfInterrupted();
    WriteWholeFile(output, file.bytes);
    return kExitOk;
}

int RunRenderLog(const RenderOptions& options, const std::string& output) {
    const MixOptions& mix = options.mix;
    LogSession session(options.song, mix);
    const Timing& timing = session.timing;
    if (!RawSink::IsRawOutput(output)) SndFileSink::FormatFor(output, timing.plan.totalFrames);
    int64_t start = 0;
    if (!StartLog(mix, timing.plan, session.player, start, "write")) throw StoppedWritingNothing();
    if (playback::StartsAtTheEnd(start, timing.plan)) return kExitOk;
    Renderer renderer(session.player, timing.plan, start);
    const std::unique_ptr<AudioSink> sink =
        OpenAudioSink(output, mix.rate, timing.plan.totalFrames);
    RenderIntoFiles({&renderer}, {sink.get()}, mix.rate, timing);
    return kExitOk;
}

int RunPlayLog(const PlayOptions& options) {
    const MixOptions& mix = options.mix;
    LogSession session(options.song, mix);
    int64_t start = 0;
    if (!StartLog(mix, session.timing.plan, session.player, start, "play")) {
        return InterruptedStatus();
    }
    Renderer renderer(session.player, session.timing.plan, start);
    return PlayThroughSoundCard(renderer, mix.rate, session.timing, start);
}

int RunInfoLog(const InfoOptions& options) {
    const reglog::LogReadResult read = ReadLogFile(options.song, "read");
    LogInfo info = DescribeLog(options.song, *read.log, read.origin);
    info.warnings = read.warnings;
    if (options.json) {
        std::printf("%s\n", ToJson(info).dump(2).c_str());
    } else {
        std::fputs(FormatText(info).c_str(), stdout);
    }
    return kExitOk;
}

}  // namespace cli
