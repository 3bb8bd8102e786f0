#include "commands/Commands.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <new>
#include <thread>
#include <type_traits>
#include <variant>
#include <vector>

#include "CliError.h"
#include "commands/LogCommands.h"
#include "commands/LogInput.h"
#include "commands/NoteCommands.h"
#include "commands/SongFile.h"
#include "commands/VoicesCommand.h"
#include "commands/Watch.h"
#include "engine/Engine.h"
#include "engine/LoopDetector.h"
#include "live/Interrupt.h"
#include "mml/Compile.h"
#include "options/CommandLine.h"
#include "options/PartSelection.h"
#include "options/PlaybackOptions.h"
#include "output/PlayThrough.h"
#include "output/RawSink.h"
#include "output/SdlPlayback.h"
#include "output/SndFileSink.h"
#include "playback/RangeLoop.h"
#include "playback/RenderPlan.h"
#include "playback/RenderTiming.h"
#include "playback/Renderer.h"
#include "playback/StartPosition.h"
#include "reglog/LogReader.h"
#include "report/Diagnostics.h"
#include "report/Progress.h"
#include "report/SongInfo.h"
#include "song/Song.h"

// Deliberate choices:
// - A render cut at --max-seconds still fades out, over the last --fade
//   seconds before the cut, so it never stops in the middle of a note.
// - Stems follow --mute and --solo: a part that the mix leaves out gets no stem.
// - Ctrl-C, SIGTERM, SIGHUP and the other terminating signals stop render
//   and play cleanly (no partial file is left), with 128 + the signal's
//   number as the status.
// - A start at or past the end writes nothing, not even an empty file, and
//   leaves any file under the output's name alone; zero frames asked for
//   with --seconds 0 give a valid empty file.
// - An output that is the song itself (the same file, by any name or link)
//   is refused before anything is written: a usage error.
// - Running out of memory ends the command with one line saying what it was
//   doing, and no file.

namespace cli {

namespace fs = std::filesystem;

namespace {

using playback::EngineFrames;
using playback::Renderer;
using playback::RenderPlan;
using playback::Timing;

void Warn(const std::string& message) {
    std::fprintf(stderr, "velnari: warning: %s\n", message.c_str());
}

// The song's timing, with a warning when it is cut at --max-seconds; a
// terminating signal stops the loop search.
Timing PlanTiming(const std::string& file, const std::shared_ptr<const song::Song>& song,
                  const MixOptions& mix, bool stoppable) {
    std::optional<Timing> timing =
        playback::PlanTiming(song, LengthOf(mix), stoppable ? Interrupted : playback::StopAsked{});
    if (!timing) throw StoppedWritingNothing();
    if (timing->plan.cut) Warn(CutWarning(file, mix));
    return *timing;
}

// Parts named by --solo or --mute that the song does not use.
void WarnAboutPartSelection(const std::string& file, const song::Song& song,
                            const MixOptions& mix) {
    PartSelection::PartBits used = 0;
    for (int part = 0; part < song::kPartCount; ++part) {
        if (song.IsPartUsed(part)) used |= PartSelection::PartBits{1} << part;
    }
    const bool solo = mix.soloParts != 0;
    const PartSelection::PartBits named = solo ? mix.soloParts : mix.muteParts;
    const PartSelection::PartBits unused = named & ~used;
    if (unused == 0) return;
    std::string list;
    for (int part = 0; part < song::kPartCount; ++part) {
        if (unused & (PartSelection::PartBits{1} << part)) {
            list += (list.empty() ? "" : ", ") + std::to_string(part + 1);
        }
    }
    const bool several = (unused & (unused - 1)) != 0;
    Warn(std::string(solo ? "--solo" : "--mute") + ": " + (several ? "parts " : "part ") + list +
         (several ? " are" : " is") + " not used in '" + file + "'" +
         (solo ? ((named & used) == 0 ? ", so nothing sounds" : "")
               : "; muting changes nothing there"));
}

// Told after the render: how often the mix saturated.
void WarnAboutClipping(const std::string& file, int64_t samples, engine::Volumes volumes) {
    if (samples == 0) return;
    Warn("'" + file + "': " + std::to_string(samples) +
         " samples reached full scale (the mix clips) at --fm-volume " +
         std::to_string(volumes.fm) + " --ssg-volume " + std::to_string(volumes.ssg) +
         "; lower them");
}

// A file output goes into an existing folder: one whose folder is missing is
// refused before anything is compiled or rendered, and the folder named.
void RequireOutputFolder(const std::string& output) {
    const fs::path folder = fs::path(output).parent_path();
    std::error_code error;
    if (folder.empty() || fs::is_directory(folder, error)) return;
    const bool exists = fs::exists(folder, error);
    throw CliError(kExitFailure, "cannot write '" + output + "': '" + folder.string() +
                                     (exists ? "' is not a folder" : "' does not exist"));
}

// Refuses an output file that is the input file under any name (a copy of
// the path, a symbolic or a hard link): the render would replace the song.
void RefuseOutputThatIsInput(const std::string& output, const std::string& input) {
    std::error_code error;
    if (!fs::equivalent(output, input, error) || error) return;
    throw CliError(kExitUsage, "cannot write '" + output + "': it is the input '" + input +
                                   "' itself; choose another output");
}

// A render's output: an engine playing the song, its renderer and where the
// frames go.
struct Track {
    std::unique_ptr<engine::Engine> engine;
    std::unique_ptr<EngineFrames> frames;
    std::unique_ptr<Renderer> renderer;
    std::unique_ptr<AudioSink> sink;
};

Track MakeTrack(const std::shared_ptr<const song::Song>& song, const MixOptions& mix,
                engine::Volumes volumes, uint32_t chipMask) {
    Track track;
    track.engine = std::make_unique<engine::Engine>(song, mix.rate, volumes, chipMask);
    track.frames = std::make_unique<EngineFrames>(*track.engine);
    return track;
}

// The first frame of the output (--start, --start-tick), with a warning when
// nothing is left to `what` from there.
int64_t FirstFrame(const MixOptions& mix, const Timing& timing, const char* what) {
    const RenderPlan& plan = timing.plan;
    const int64_t start =
        playback::StartFrame(StartOf(mix), mix.rate, timing.ticks, plan.totalFrames);
    if (StartsAtTheEnd(start, plan)) {
        Warn(std::string("the start is at or past the end (") +
             FormatDuration(plan.totalFrames, mix.rate) + "); nothing to " + what);
    }
    return start;
}

// A render of bars once: from the first bar's first frame to the last bar's
// end, without a fade.
Timing BarsTiming(const playback::FrameRange& bars) {
    Timing timing;
    timing.plan = RenderPlan::Fixed(bars.end, 0);
    return timing;
}

// Plays bars on repeat through the sound card until a terminating signal.
int PlayBarsOnRepeat(const std::shared_ptr<const song::Song>& song, const MixOptions& mix,
                     engine::Volumes volumes) {
    const playback::FrameRange bars =
        FramesOfBars(*mix.bars, song, mix.rate, StopPlayingIfInterrupted);
    playback::RangeLoop loop(song, mix.rate, volumes, mix.chipMask, bars.first, bars.end);
    SdlPlayback playback(mix.rate, [&loop](int16_t* frames, int32_t count) {
        loop.Fill(frames, count);
        return SdlPlayback::Chunk{count, false};
    });
    std::fprintf(stderr, "bars %lld-%lld on repeat (%s each pass); Ctrl-C stops\n",
                 static_cast<long long>(mix.bars->first), static_cast<long long>(mix.bars->last),
                 FormatDuration(bars.end - bars.first, mix.rate).c_str());
    playback.Start();
    while (!Interrupted()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    playback.Stop();
    return InterruptedStatus();
}

// What a command was doing, for the one line that reports running out of
// memory.
std::string Doing(const Invocation& invocation) {
    return std::visit(
        [](const auto& options) -> std::string {
            using T = std::decay_t<decltype(options)>;
            if constexpr (std::is_same_v<T, RenderOptions>) {
                const std::string output =
                    options.output.empty() ? DefaultOutputPath(options.song) : options.output;
                return "rendering '" + options.song + "' to '" + output + "'";
            } else if constexpr (std::is_same_v<T, PlayOptions>) {
                return "playing '" + options.song + "'";
            } else if constexpr (std::is_same_v<T, CheckOptions>) {
                return "checking " + std::string(options.songs.size() == 1
                                                     ? "'" + options.songs[0] + "'"
                                                     : "the songs");
            } else if constexpr (std::is_same_v<T, VoicesOptions>) {
                return "lifting the voices out of '" + options.log + "'";
            } else {
                return "describing '" + options.song + "'";
            }
        },
        invocation);
}

}  // namespace

std::string StemPath(const std::string& output, int part) {
    fs::path path(output);
    fs::path stem = path.parent_path() / path.stem();
    stem += "-" + std::to_string(part);
    stem += path.extension();
    return stem.string();
}

std::string DefaultOutputPath(const std::string& song) {
    return fs::path(song).stem().string() + ".wav";
}

int RunRender(const RenderOptions& options) {
    // Before any file exists, so that Ctrl-C at any moment finds it removable.
    InstallInterruptHandler();
    const std::string output =
        options.output.empty() ? DefaultOutputPath(options.song) : options.output;
    const bool raw = RawSink::IsRawOutput(output);
    if (raw && options.stems) {
        throw CliError(kExitUsage, "--stems needs an output file, not " + output);
    }
    if (!raw) {
        RequireOutputFolder(output);
        RefuseOutputThatIsInput(output, options.song);
    }
    if (!raw && IsMidiPath(output)) return RunExportMidi(options, output);
    if (IsRegisterLogInput(options.song)) return RunRenderLog(options, output);
    if (!raw && reglog::IsRegisterLogPath(output)) return RunExportLog(options, output);
    if (!raw) SndFileSink::FormatFor(output);

    const MixOptions& mix = options.mix;
    const std::shared_ptr<const song::Song> song =
        CompileSongFile(options.song, options.diagnostics);
    WarnAboutPartSelection(options.song, *song, mix);
    const engine::Volumes volumes = ResolveVolumes(mix.fmVolume, mix.ssgVolume);
    std::vector<Track> tracks;
    tracks.push_back(MakeTrack(song, mix, volumes, mix.chipMask));
    const std::optional<playback::FrameRange> bars =
        mix.bars ? std::optional(FramesOfBars(*mix.bars, song, mix.rate, StopIfInterrupted))
                 : std::nullopt;
    const Timing timing = bars ? BarsTiming(*bars) : PlanTiming(options.song, song, mix, true);
    const int64_t start = bars ? bars->first : FirstFrame(mix, timing, "write");
    if (StartsAtTheEnd(start, timing.plan)) return kExitOk;

    std::vector<std::string> files(1, output);
    if (options.stems) {
        for (int part = 0; part < song::kPartCount; ++part) {
            const PartSelection::PartBits only = PartSelection::PartBits{1} << part;
            const uint32_t soloMask =
                PartSelection::ChipMaskMuting(PartSelection::kAllParts & ~only);
            if (!song->IsPartUsed(part) || (mix.chipMask & ~soloMask) != 0) continue;
            tracks.push_back(MakeTrack(song, mix, volumes, soloMask));
            files.push_back(StemPath(output, part + 1));
            RefuseOutputThatIsInput(files.back(), options.song);
        }
    }
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        tracks[i].sink = OpenAudioSink(files[i], mix.rate, timing.plan.totalFrames);
    }
    std::vector<Renderer*> renderers;
    std::vector<AudioSink*> sinks;
    for (Track& track : tracks) {
        if (!playback::RunAhead(*track.frames, start, Interrupted)) {
            throw StoppedWritingNothing();
        }
        track.renderer = std::make_unique<Renderer>(*track.frames, timing.plan, start);
        renderers.push_back(track.renderer.get());
        sinks.push_back(track.sink.get());
    }
    RenderIntoFiles(renderers, sinks, mix.rate, timing);
    WarnAboutClipping(options.song, tracks[0].renderer->FullScaleSamples(), volumes);
    return kExitOk;
}

int RunPlay(const PlayOptions& options) {
    if (options.watch) return RunWatch(options);
    InstallInterruptHandler();
    if (IsRegisterLogInput(options.song)) return RunPlayLog(options);
    const MixOptions& mix = options.mix;
    const std::shared_ptr<const song::Song> song =
        CompileSongFile(options.song, options.diagnostics);
    WarnAboutPartSelection(options.song, *song, mix);
    const engine::Volumes volumes = ResolveVolumes(mix.fmVolume, mix.ssgVolume);
    if (mix.bars) return PlayBarsOnRepeat(song, mix, volumes);
    engine::Engine engine(song, mix.rate, volumes, mix.chipMask);
    EngineFrames frames(engine);
    const Timing timing = PlanTiming(options.song, song, mix, false);
    const int64_t start = FirstFrame(mix, timing, "play");
    if (!playback::RunAhead(frames, start, Interrupted)) return InterruptedStatus();
    Renderer renderer(frames, timing.plan, start);
    const int status = PlayThroughSoundCard(renderer, mix.rate, timing, start);
    WarnAboutClipping(options.song, renderer.FullScaleSamples(), volumes);
    return status;
}

int RunCheck(const CheckOptions& options) {
    int status = kExitOk;
    for (const std::string& file : options.songs) {
        const Tarsel::FileReviewResult reviewed = Tarsel::ReviewFile(file);
        if (reviewed.song) {
            if (options.plain) {
                std::fputs(ShowPlainDialect(reviewed.plainDialect, reviewed.warnings, file).c_str(),
                           stderr);
                if (!reviewed.plainDialect.empty()) status = kExitFailure;
            } else {
                std::fputs(ShowWarnings(reviewed.warnings, file).c_str(), stderr);
            }
            if (options.diagnostics.warningsAreErrors && !reviewed.warnings.empty()) {
                status = kExitFailure;
            }
            continue;
        }
        status = kExitFailure;
        if (reviewed.fault) {
            std::fputs(ShowFault(*reviewed.fault, file, options.diagnostics).c_str(), stderr);
        } else {
            std::fprintf(stderr, "velnari: cannot read '%s' (missing, unreadable or empty)\n",
                         file.c_str());
        }
    }
    return status;
}

int RunInfo(const InfoOptions& options) {
    if (options.notes) return RunInfoNotes(options);
    if (IsRegisterLogInput(options.song)) return RunInfoLog(options);
    const Tarsel::CompileResult compiled = CompileSongFile(options.song);
    const std::shared_ptr<const song::Song>& song = compiled.song;
    engine::Engine ahead(song, options.rate);
    SongInfo info;
    info.file = options.song;
    info.rate = options.rate;
    const int64_t maxFrames = playback::SecondsToFrames(options.maxSeconds, options.rate);
    info.ticks = playback::TickMap::OfSong(song, options.rate, maxFrames);
    DescribeDefinitions(*song, info);
    DescribeExtensions(compiled.extensions, info);
    // The first tick's tempo: the song's, or a change in that very tick.
    info.tempo = info.ticks.Steps().front().tempo;
    info.framesPerTick = info.ticks.Steps().front().framesPerTick;
    const int64_t maxTicks = info.ticks.TickOfFrame(maxFrames) + 1;
    DescribeLoops(engine::LoopDetector::Run(ahead, 2, maxTicks), info);
    if (options.json) {
        std::printf("%s\n", ToJson(info).dump(2).c_str());
    } else {
        std::fputs(FormatText(info).c_str(), stdout);
    }
    return kExitOk;
}

int RunCommandLine(int argc, const char* const* argv) {
    const ParseOutcome parsed = ParseCommandLine(std::vector<std::string>(argv, argv + argc));
    std::fputs(parsed.standardOutput.c_str(), stdout);
    std::fputs(parsed.standardError.c_str(), stderr);
    if (!parsed.invocation) return parsed.exitStatus;

    try {
        return std::visit(
            [](const auto& options) -> int {
                using T = std::decay_t<decltype(options)>;
                if constexpr (std::is_same_v<T, RenderOptions>) return RunRender(options);
                if constexpr (std::is_same_v<T, PlayOptions>) return RunPlay(options);
                if constexpr (std::is_same_v<T, CheckOptions>) return RunCheck(options);
                if constexpr (std::is_same_v<T, InfoOptions>) return RunInfo(options);
                if constexpr (std::is_same_v<T, VoicesOptions>) return RunVoices(options);
            },
            *parsed.invocation);
    } catch (const SongFault& e) {
        // As the chosen format shows it (by default the plug-in's message box,
        // without the caption).
        std::fputs(e.what(), stderr);
        return e.status();
    } catch (const CliError& e) {
        std::fprintf(stderr, "velnari: %s\n", e.what());
        return e.status();
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "velnari: out of memory while %s\n",
                     Doing(*parsed.invocation).c_str());
        return kExitFailure;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "velnari: %s\n", e.what());
        return kExitFailure;
    }
}

}  // namespace cli
