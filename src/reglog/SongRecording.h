#pragma once
// The register writes a song makes, tick by tick: an engine at kLogRate run
// ahead without mixing (the writes do not depend on the mix), with every
// write it makes recorded against the tick that made it.
//
// Ticks that write nothing take no room, so a song at a tempo that makes
// every frame a tick records as cheaply as any other. Each tick's writes
// carry a hash, so comparing two ticks is usually one comparison.

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/Engine.h"
#include "song/Song.h"

namespace reglog {

struct RegisterWrite {
    uint8_t address = 0;
    uint8_t data = 0;
};

class SongRecording {
  public:
    // Starts the song and records the writes made while starting (the chip's
    // reset and the sequencer's set-up), which come before tick 0's.
    explicit SongRecording(std::shared_ptr<const song::Song> song);
    ~SongRecording();

    SongRecording(const SongRecording&) = delete;
    SongRecording& operator=(const SongRecording&) = delete;

    // The engine that makes the writes, to be run ahead by engine::LoopDetector
    // (whatever it runs is recorded) or by RunTo.
    engine::Engine& Ahead() { return *engine_; }

    // Runs ticks until `ticks` have run since the start.
    void RunTo(int64_t ticks);

    int64_t Ticks() const { return engine_->Tick(); }  // ticks recorded
    int32_t FramesPerTick() const { return engine_->FramesPerTick(); }

    const std::vector<RegisterWrite>& Startup() const { return startup_; }

    // The ticks that wrote something, in order.
    struct Group {
        int64_t tick;
        uint32_t begin;  // index into the writes
        uint32_t end;
        uint64_t hash;
    };
    const std::vector<Group>& Groups() const { return groups_; }
    const RegisterWrite* Writes(const Group& group) const { return writes_.data() + group.begin; }

    // True when both ticks wrote the same values to the same registers in the
    // same order (two ticks that wrote nothing are the same).
    bool SameWrites(const Group& a, const Group& b) const;

  private:
    class Tap;

    std::unique_ptr<Tap> tap_;
    std::unique_ptr<engine::Engine> engine_;
    std::vector<RegisterWrite> startup_;
    std::vector<RegisterWrite> writes_;
    std::vector<Group> groups_;
    bool started_ = false;
};

}  // namespace reglog
