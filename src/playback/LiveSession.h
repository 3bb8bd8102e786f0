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
//
// A player with one thread for both (the web page's audio thread) hands
// takes over with PlayWhenReady and TakeOverWhenReady instead: the take then
// runs ahead inside Fill, at most a budget of frames each time, while the
// playing take goes on sounding, so no buffer is ever late.

#include <array>
#include <cstdint>
#include <limits>
#include <memory>
#include <mutex>
#include <vector>

#include "engine/Engine.h"
#include "playback/FrameSource.h"
#include "playback/RenderPlan.h"
#include "playback/Renderer.h"
#include "playback/TickMap.h"
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
    // where a render from the beginning is. False when `stop` stopped it,
    // or it ran out of its `budget` of frames, short of `frame`.
    bool RunAheadTo(int64_t frame, const StopAsked& stop = {},
                    int64_t budget = std::numeric_limits<int64_t>::max());
    // Back to its fresh start, as a new take would stand.
    void Rewind();
    void SetChannelMask(uint32_t mask) { engine_->SetChannelMask(mask); }

    // Fills up to `count` frames; fewer at the end of the plan.
    int32_t Fill(int16_t* frames, int32_t count) { return renderer_->Fill(frames, count); }

    int64_t Frame() const { return renderer_->FramesDone(); }
    bool Finished() const { return renderer_->Finished(); }
    const RenderPlan& Plan() const { return plan_; }
    // Where its ticks start: the song's map through the plan's end (at most
    // kMapSeconds of it).
    const std::shared_ptr<const TickMap>& Ticks() const { return ticks_; }
    const engine::Engine& Engine() const { return *engine_; }
    static constexpr double kMapSeconds = 3600.0;
    const std::shared_ptr<const song::Song>& Song() const { return engine_->SharedSong(); }

  private:
    std::unique_ptr<engine::Engine> engine_;
    RenderPlan plan_;
    std::shared_ptr<const TickMap> ticks_;
    EngineFrames frames_;
    std::unique_ptr<Renderer> renderer_;
};

class LiveSession {
  public:
    // The cross-fade lasts `fadeFrames` frames (at least 1). A take handed
    // over "when ready" runs ahead at most `runAheadBudget` frames in each
    // Fill.
    explicit LiveSession(int32_t fadeFrames, int64_t runAheadBudget = 8192);
    ~LiveSession();

    LiveSession(const LiveSession&) = delete;
    LiveSession& operator=(const LiveSession&) = delete;

    // Audio thread: fills all `count` frames, with silence while paused,
    // before the first take and after a take's plan has ended.
    void Fill(int16_t* frames, int32_t count);

    // Plays `take` from the next frame on (at once while paused). A take that
    // was waiting for its moment or running ahead is dropped.
    void Play(std::unique_ptr<Take> take);
    // Plays `take` once the playing take reaches its frame `at`, or at once
    // when nothing plays or the playing take ends first. False, leaving
    // `take` with the caller, when the playing take is past `at` already.
    // A `cut` hands over without the cross-fade, as a loop of the music
    // itself joins its end to its start: the new take's frames exactly.
    bool PlayAt(std::unique_ptr<Take>& take, int64_t at, bool cut = false);

    // Plays `take` once it stands at `frame` of its own, running it ahead in
    // Fill meanwhile; the playing take plays on until then. Drops any take
    // still waiting or running ahead.
    void PlayWhenReady(std::unique_ptr<Take> take, int64_t frame);
    // As TakeOver, with the run-ahead done in Fill: the tick is chosen again
    // in each Fill from where the playing take stands, until the new version
    // reaches it. Drops any take still waiting or running ahead.
    void TakeOverWhenReady(std::unique_ptr<Take> take, int64_t leadFrames);

    // Chip mute bits for every take, playing or to come.
    void SetChannelMask(uint32_t mask);

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
        bool finished = false;     // the playing take's plan has ended
        bool switching = false;    // a take runs ahead, waits for its moment or fades in
        bool handingOver = false;  // a take handed over has not begun to sound yet
        int64_t frame = 0;         // of the playing take's plan, rendered so far
        int64_t tick = 0;          // ticks the playing take has run
        int64_t totalFrames = 0;
        int32_t framesPerTick = 1;             // of the tick run last
        std::shared_ptr<const TickMap> ticks;  // where the playing take's ticks start
        std::array<engine::PartStatus, song::kPartCount> parts{};
        std::shared_ptr<const song::Song> song;
    };
    Status GetStatus() const;

    // Destroys, on the calling thread, the takes that have stopped sounding.
    void Collect();

  private:
    void CrossFade(int16_t* frames, int32_t count);
    // Runs the take handed over "when ready" ahead by the budget, and makes
    // it the next take once it stands where it should.
    void RunPendingAhead();
    void Retire(std::unique_ptr<Take>& take);
    // Makes `take` the next to play at frame `at` of the playing take (-1:
    // at once); the playing one at once while paused or when nothing plays.
    void HandOver(std::unique_ptr<Take>& take, int64_t at);

    const int32_t fadeFrames_;
    mutable std::mutex mutex_;
    std::unique_ptr<Take> current_;
    std::unique_ptr<Take> next_;
    int64_t nextAt_ = -1;            // frame of current_ at which next_ takes over; -1: at once
    std::unique_ptr<Take> pending_;  // running ahead in Fill
    int64_t pendingFrame_ = 0;       // where it plays from
    int64_t pendingLead_ = -1;       // -1: a plain PlayWhenReady; else TakeOverWhenReady's lead
    const int64_t runAheadBudget_;
    std::unique_ptr<Take> fading_;
    int32_t faded_ = 0;      // frames of the cross-fade done
    bool nextCuts_ = false;  // next_ takes over without a cross-fade
    bool paused_ = false;
    std::vector<std::unique_ptr<Take>> retired_;
    std::array<int16_t, 2 * 1024> scratch_{};  // the fading take's frames
};

}  // namespace playback
