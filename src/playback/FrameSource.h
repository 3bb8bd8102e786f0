#pragma once
// Anything that produces a piece as interleaved 16-bit stereo frames on
// request, from its beginning on: an engine playing a song, a register log's
// player, a test signal. Everything above it in this folder (the render plan,
// the run-ahead to a start, the live session) works on a frame source and
// knows nothing of what makes the frames.
//
// A source's output depends only on what it plays, never on how its caller
// cuts its requests.

#include <cstdint>
#include <functional>
#include <limits>

#include "engine/Engine.h"
#include "playback/Snapshots.h"

namespace playback {

// Asked now and then during long work (a run-ahead, a loop search, a render);
// true stops it. An empty one never stops anything.
using StopAsked = std::function<bool()>;

class FrameSource {
  public:
    virtual ~FrameSource() = default;

    // Writes the next `count` frames to `frames` (2 * count samples).
    virtual void Render(int16_t* frames, int32_t count) = 0;
    // Frames rendered since the beginning.
    virtual int64_t Frame() const = 0;
    // Output rate in Hz.
    virtual uint32_t Rate() const = 0;
    // Plays on to `frame` without output (nothing when there already): the
    // frames from there equal those of a render from the beginning. By
    // default the frames are rendered and dropped.
    virtual void RunAheadTo(int64_t frame);
    // Takes any shortcut the source has towards `frame`, never past it (an
    // engine restores a snapshot); the frames from where it then stands
    // equal a render's. By default there is none.
    virtual void Approach(int64_t /*frame*/) {}
};

// An engine as a frame source; the engine is not owned. With the trail of
// snapshots of its piece, it notes its state there as it plays and runs
// ahead, and approaches a frame through them; the engine must then stand
// where a render from the beginning would (as every engine that has only
// played, run ahead and sought does), and Forget the trail when that ends
// (a change of its mask or volumes). A trail of another piece is not used.
class EngineFrames : public FrameSource {
  public:
    explicit EngineFrames(engine::Engine& engine, std::shared_ptr<Snapshots> snapshots = {});
    void Render(int16_t* frames, int32_t count) override;
    int64_t Frame() const override { return engine_.Frame(); }
    uint32_t Rate() const override { return engine_.Rate(); }
    void RunAheadTo(int64_t frame) override;
    void Approach(int64_t frame) override;
    void Forget() { snapshots_.reset(); }

  private:
    engine::Engine& engine_;
    std::shared_ptr<Snapshots> snapshots_;
};

// Runs `source` ahead to `frame` in steps of about a second of audio (a few
// milliseconds of work), asking `stop` before each; and doing at most
// `budget` frames of work in all. True once the source stands at `frame`
// (or past it); false when stopped or out of budget short of it.
bool RunAhead(FrameSource& source, int64_t frame, const StopAsked& stop = {},
              int64_t budget = std::numeric_limits<int64_t>::max());

// Moves `engine` to `frame` so that its output from there equals a fresh
// engine's: from the nearest of its piece's `snapshots` before it, else
// run ahead from where it stands, or from a new start when `frame` lies
// behind it (an engine that has only ever rendered since its start; see
// engine::Engine::RunAheadTo). `stop` and `budget` as for RunAhead.
bool Seek(engine::Engine& engine, int64_t frame, const StopAsked& stop = {},
          int64_t budget = std::numeric_limits<int64_t>::max(),
          const std::shared_ptr<Snapshots>& snapshots = {});

}  // namespace playback
