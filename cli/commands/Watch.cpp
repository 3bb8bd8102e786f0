#include "commands/Watch.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>

#include "CliError.h"
#include "commands/SongFile.h"
#include "live/Interrupt.h"
#include "mml/Compile.h"
#include "mml/Warnings.h"
#include "options/PlaybackOptions.h"
#include "output/SdlPlayback.h"
#include "platform/FileStamp.h"
#include "platform/KeyReader.h"
#include "platform/Terminal.h"
#include "platform/WholeFile.h"
#include "playback/LiveSession.h"
#include "playback/Position.h"
#include "playback/RenderTiming.h"
#include "playback/Snapshots.h"
#include "playback/StartPosition.h"
#include "report/Diagnostics.h"
#include "report/Progress.h"

// Deliberate choices:
// - The file is looked at every 100 ms. A change counts once the file has
//   stood still for one look, so a save made in several writes is compiled
//   once, whole; and only when its bytes differ from the last version
//   compiled, so saving without changes restarts nothing.
// - A version that does not compile, or a file that cannot be read, is
//   reported once, and the last good version plays on. A file that has
//   vanished (between an editor's delete and rename) is waited for quietly.
// - Faults and warnings look as check shows them, in the chosen --format.
//   A new version's warnings are shown once, as it takes over; under
//   --werror a version with warnings is refused like a faulty one.
// - A new version takes over on the first tick boundary at least 100 ms
//   ahead of what is playing, at the same tick of the new version (the same
//   frame when the tempo is unchanged), so the change is heard within a few
//   device buffers. A version whose render ends before that tick (it got
//   shorter) starts from its beginning.
// - At the end of the render (--loops or --seconds, with the fade) the song
//   starts again: watch mode plays until q or Ctrl-C.
// - Seeks and restarts cross-fade like new versions; a pause stops at once.
// - Running a take ahead (to a seek's target, or to the tick of a new
//   version) may take a while deep into a long render; Ctrl-C stops it.

namespace cli {

namespace {

constexpr int32_t kRoundMs = 50;       // the pace of the loop: keys, display
constexpr int32_t kRoundsPerLook = 2;  // the file is looked at every other round
constexpr double kSeekSeconds = 5.0;
constexpr double kFadeSeconds = 0.005;
constexpr double kLeadSeconds = 0.1;

using playback::LiveSession;
using playback::SecondsToFrames;
using playback::Take;

// The song's timing as watch plays it: the loop search is not stopped. With
// --bars, up to the last bar's end, without a fade; `barsFirst` is then the
// first bar's first frame.
playback::Timing PlanTiming(const std::shared_ptr<const song::Song>& song, const MixOptions& mix,
                            int64_t& barsFirst) {
    if (!mix.bars) return *playback::PlanTiming(song, LengthOf(mix));
    const playback::FrameRange bars =
        FramesOfBars(*mix.bars, song, mix.rate, StopPlayingIfInterrupted);
    barsFirst = bars.first;
    playback::Timing timing;
    timing.plan = playback::RenderPlan::Fixed(bars.end, 0);
    return timing;
}

class WatchSession {
  public:
    WatchSession(const PlayOptions& options, std::shared_ptr<const song::Song> song,
                 std::string text, platform::FileStamp stamp)
        : options_(options),
          mix_(options.mix),
          volumes_(ResolveVolumes(mix_.fmVolume, mix_.ssgVolume)),
          song_(std::move(song)),
          timing_(PlanTiming(song_, mix_, barsFirst_)),
          text_(std::move(text)),
          handled_(stamp),
          seen_(stamp),
          live_(static_cast<int32_t>(kFadeSeconds * mix_.rate) + 1),
          terminal_(platform::StandardErrorIsTerminal()) {}

    int Run() {
        if (timing_.plan.cut) Say("warning: " + CutWarning(options_.song, mix_));
        auto first = NewTake();
        const int64_t start = mix_.bars
                                  ? barsFirst_
                                  : playback::StartFrame(StartOf(mix_), mix_.rate, timing_.ticks,
                                                         timing_.plan.totalFrames);
        if (!first->RunAheadTo(start, Interrupted)) return InterruptedStatus();
        live_.Play(std::move(first));

        SdlPlayback playback(mix_.rate, [this](int16_t* frames, int32_t count) {
            live_.Fill(frames, count);
            return SdlPlayback::Chunk{count, false};
        });
        platform::KeyReader keys;
        if (terminal_) {
            Say("watching " + options_.song +
                ": space pauses, r restarts, arrows seek 5 s, q quits");
        }
        playback.Start();
        for (int round = 0; !Interrupted(); ++round) {
            const int32_t key = keys.Next(kRoundMs);
            if (key == 'q' || key == 'Q') break;
            HandleKey(key);
            if (round % kRoundsPerLook == 0) LookAtFile();
            const LiveSession::Status status = live_.GetStatus();
            if (status.finished && !status.switching) PlayAgain();
            Draw(status);
            live_.Collect();
        }
        playback.Stop();
        if (lineLength_ > 0) std::fputc('\n', stderr);
        return Interrupted() ? InterruptedStatus() : kExitOk;
    }

  private:
    // A take of the song as it now is; a seek or a restart inside what a take
    // of this version has played or run through starts from its snapshots.
    std::unique_ptr<Take> NewTake() {
        return std::make_unique<Take>(
            song_, mix_.rate, volumes_, mix_.chipMask, timing_.plan,
            playback::SnapshotsFor(snapshots_, song_, mix_.rate, volumes_, mix_.chipMask));
    }

    // From the beginning again, or with --bars from the first bar's first tick.
    void PlayAgain() {
        auto take = NewTake();
        if (mix_.bars && !take->RunAheadTo(barsFirst_, Interrupted)) return;
        live_.Play(std::move(take));
    }

    void HandleKey(int32_t key) {
        if (key == ' ') {
            paused_ = !paused_;
            live_.SetPaused(paused_);
        } else if (key == 'r' || key == 'R') {
            PlayAgain();
        } else if (key == platform::KeyReader::kLeft || key == platform::KeyReader::kRight) {
            const int64_t step = SecondsToFrames(kSeekSeconds, mix_.rate);
            const LiveSession::Status status = live_.GetStatus();
            const int64_t target = std::clamp<int64_t>(
                status.frame + (key == platform::KeyReader::kLeft ? -step : step), 0,
                std::max<int64_t>(timing_.plan.totalFrames - 1, 0));
            auto take = NewTake();
            if (take->RunAheadTo(target, Interrupted)) live_.Play(std::move(take));
        }
    }

    // Compiles the file once it has changed and stood still for a look.
    void LookAtFile() {
        const platform::FileStamp stamp = platform::StampFile(options_.song.c_str());
        const bool settled = stamp == seen_;
        seen_ = stamp;
        if (!settled || stamp == handled_) return;
        handled_ = stamp;
        if (!stamp.exists) return;
        std::string text;
        if (!platform::ReadWholeFile(options_.song.c_str(), text)) {
            Say("cannot read '" + options_.song +
                "' (missing, unreadable or empty); still playing the last version");
            return;
        }
        if (text == text_) return;
        text_ = text;
        Tarsel::ReviewResult reviewed = Tarsel::Review(text, options_.song);
        if (reviewed.fault) {
            Show(ShowFault(*reviewed.fault, options_.song, options_.diagnostics));
            Say("still playing the last version that compiled");
            return;
        }
        Show(ShowWarnings(reviewed.warnings, options_.song));
        if (options_.diagnostics.warningsAreErrors && !reviewed.warnings.empty()) {
            Say("'" + options_.song +
                "' has warnings and --werror was given; still playing the last version");
            return;
        }
        song_ = reviewed.song;
        timing_ = PlanTiming(song_, mix_, barsFirst_);
        if (timing_.plan.cut) Say("warning: " + CutWarning(options_.song, mix_));
        SwitchToNewVersion();
    }

    // Hands the new version over on a tick boundary ahead of what plays, run
    // ahead to the same tick.
    void SwitchToNewVersion() {
        using Kind = LiveSession::TakeOverResult::Kind;
        const LiveSession::TakeOverResult result =
            live_.TakeOver(NewTake(), SecondsToFrames(kLeadSeconds, mix_.rate), Interrupted);
        if (!terminal_ || result.kind == Kind::kStopped) return;
        if (result.kind == Kind::kAtTick) {
            Say("reloaded " + options_.song + " at bar " +
                std::to_string(playback::BarOfTick(result.tick)));
        } else {
            Say("reloaded " + options_.song + " from its beginning");
        }
    }

    // A message above the progress line, which is drawn again next round.
    void Say(const std::string& message) { Show("velnari: " + message + "\n"); }

    // Lines as they are, above the progress line.
    void Show(const std::string& lines) {
        if (lines.empty()) return;
        if (lineLength_ > 0) {
            std::fprintf(stderr, "\r%*s\r", static_cast<int>(lineLength_), "");
            lineLength_ = 0;
        }
        std::fputs(lines.c_str(), stderr);
        std::fflush(stderr);
    }

    // Time, bar (64 ticks) and the pass each used part is in.
    void Draw(const LiveSession::Status& status) {
        if (!terminal_ || !status.playing) return;
        const int64_t tick = status.ticks->TickOfFrame(status.frame);
        std::string line = FormatDuration(status.frame, mix_.rate) + " / " +
                           FormatDuration(status.totalFrames, mix_.rate) + "  bar " +
                           std::to_string(playback::BarOfTick(tick)) + "  pass";
        for (int part = 0; part < song::kPartCount; ++part) {
            const engine::PartStatus& p = status.parts[part];
            if (!p.used) continue;
            line += " " + std::to_string(part + 1) + ":" +
                    (p.active ? std::to_string(p.passes + 1) : std::string("end"));
        }
        if (status.paused) line += "  [paused]";
        const std::size_t length = line.size();
        if (length < lineLength_) line.append(lineLength_ - length, ' ');
        lineLength_ = length;
        std::fprintf(stderr, "\r%s", line.c_str());
        std::fflush(stderr);
    }

    const PlayOptions& options_;
    const MixOptions& mix_;
    const engine::Volumes volumes_;
    std::shared_ptr<const song::Song> song_;
    int64_t barsFirst_ = 0;                           // with --bars, of the song playing
    std::shared_ptr<playback::Snapshots> snapshots_;  // of the latest take's version
    playback::Timing timing_;
    std::string text_;             // the last version compiled, good or not
    platform::FileStamp handled_;  // the stamp of that version
    platform::FileStamp seen_;     // the stamp at the last look
    LiveSession live_;
    const bool terminal_;
    bool paused_ = false;
    std::size_t lineLength_ = 0;
};

}  // namespace

int RunWatch(const PlayOptions& options) {
    InstallInterruptHandler();
    // The stamp before the read: a save during the read is seen as a change.
    const platform::FileStamp stamp = platform::StampFile(options.song.c_str());
    std::string text;
    if (!platform::ReadWholeFile(options.song.c_str(), text)) {
        throw CliError(kExitFailure,
                       "cannot read '" + options.song + "' (missing, unreadable or empty)");
    }
    Tarsel::ReviewResult reviewed = Tarsel::Review(text, options.song);
    auto song = AcceptReview(reviewed, reviewed.warnings, options.song, options.diagnostics);
    WatchSession session(options, std::move(song), std::move(text), stamp);
    return session.Run();
}

}  // namespace cli
