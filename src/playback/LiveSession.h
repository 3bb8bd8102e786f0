#pragma once
// A song playing live while it may change under it: the audio thread pulls
// frames from here, and the program's main thread hands over takes to play
// next (another version of the song, another position, a restart). Every
// change cross-fades from the old take to the new over a few milliseconds,
// so none of them clicks, and a change asked for at a frame of the playing
// take happens exactly there (a new version takes over on a tick boundary).
//
// Fill runs on the audio thread, everything else on one other thread. They
// share the takes under a mutex that the audio thread holds while it renders
// one device buffer (about a millisecond of work), the other thread only to
// swap pointers or read the status; takes are built, run ahead and destroyed
// outside it.

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "engine/Engine.h"
#include "playback/FrameSource.h"
#include "playback/RenderPlan.h"
#include "playback/Renderer.h"
#include "song/Song.h"

namespace playback {

// One version of the song on an engine of its own, rendered by its plan (the
// length and fade by passes or seconds) from where it stands.
class Take {
  public:
    // Starts at frame 0 on a fresh engine.
    Take(std::shared_ptr<const song::Song> song, uint32_t rate, engine::Volumes volumes,
         uint32_t chipMask, const RenderPlan& plan);

    Take(const Take&) = delete;
    Take& operator=(const Take&) = delete;

    // Plays on to `frame` without output (nothing when there already). The
    // take has only played since its fresh start, so it then stands exactly
    // where a render from the beginning is. False when `stop` stopped it
    // short.
    bool RunAheadTo(int64_t frame, const StopAsked& stop = {});

    // Fills up to `count` frames; fewer at the end of the plan.
    int32_t Fill(int16_t* frames, int32_t count) { return renderer_->Fill(frames, count); }

    int64_t Frame() const { return renderer_->FramesDone(); }
    bool Finished() const { return renderer_->Finished(); }
    const RenderPlan& Plan() const { return plan_; }
    const engine::Engine& Engine() const { return *engine_; }
    const std::shared_ptr<const song::Song>& Song() const { return engine_->SharedSong(); }

  private:
    std::unique_ptr<engine::Engine> engine_;
    RenderPlan plan_;
    EngineFrames frames_;
    std::unique_ptr<Renderer> renderer_;
};

class LiveSession {
  public:
    // The cross-fade lasts `fadeFrames` frames (at least 1).
    explicit LiveSession(int32_t fadeFrames);
    ~LiveSession();

    LiveSession(const LiveSession&) = delete;
    LiveSession& operator=(const LiveSession&) = delete;

    // Audio thread: fills all `count` frames, with silence while paused,
    // before the first take and after a take's plan has ended.
    void Fill(int16_t* frames, int32_t count);

    // Plays `take` from the next frame on. A take that was waiting for its
    // moment is dropped.
    void Play(std::unique_ptr<Take> take);
    // Plays `take` once the playing take reaches its frame `at`, or at once
    // when nothing plays or the playing take ends first. False, leaving
    // `take` with the caller, when the playing take is past `at` already.
    bool PlayAt(std::unique_ptr<Take>& take, int64_t at);

    void SetPaused(bool paused);

    // How a new version of the song took over (TakeOver).
    struct TakeOverResult {
        enum class Kind {
            kAtTick,         // at `tick` of both versions
            kFromBeginning,  // from its start: it ends before the tick reached, or nothing plays
            kStopped,        // `stop` stopped the run-ahead; nothing changed
        };
        Kind kind = Kind::kFromBeginning;
        int64_t tick = 0;
    };
    // Hands `take` (a new version, fresh) over on the first tick boundary at
    // least `leadFrames` ahead of what plays, run ahead to the same tick; so a
    // change is heard within a few device buffers, at the same place of the
    // music. Should the playing take pass that tick while the new one runs
    // ahead, the next boundary is tried, kTakeOverTries times; then the new
    // version takes over wherever it stands. A version whose plan ends
    // before the tick (it got shorter) plays from its beginning.
    static constexpr int kTakeOverTries = 20;
    TakeOverResult TakeOver(std::unique_ptr<Take> take, int64_t leadFrames,
                            const StopAsked& stop = {});

    // The playing take, as the main thread sees it.
    struct Status {
        bool playing = false;  // a take has been handed over
        bool paused = false;
        bool finished = false;   // the playing take's plan has ended
        bool switching = false;  // a take waits for its moment or fades in
        int64_t frame = 0;       // of the playing take's plan, rendered so far
        int64_t totalFrames = 0;
        int32_t framesPerTick = 1;
        std::array<engine::PartStatus, song::kPartCount> parts{};
        std::shared_ptr<const song::Song> song;
    };
    Status GetStatus() const;

    // Destroys, on the calling thread, the takes that have stopped sounding.
    void Collect();

  private:
    void CrossFade(int16_t* frames, int32_t count);

    const int32_t fadeFrames_;
    mutable std::mutex mutex_;
    std::unique_ptr<Take> current_;
    std::unique_ptr<Take> next_;
    int64_t nextAt_ = -1;  // frame of current_ at which next_ takes over; -1: at once
    std::unique_ptr<Take> fading_;
    int32_t faded_ = 0;  // frames of the cross-fade done
    bool paused_ = false;
    std::vector<std::unique_ptr<Take>> retired_;
    std::array<int16_t, 2 * 1024> scratch_{};  // the fading take's frames
};

}  // namespace playback
