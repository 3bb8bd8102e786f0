#pragma once
// Saved states of one piece as it plays or runs ahead: a song at one rate,
// with one set of volumes and one channel mask. They are kept a few seconds
// of the piece apart, so that an engine of that piece reaches any frame at
// or past the first of them by restoring the nearest one before it and
// running on from there (a few milliseconds) instead of from the beginning.
// The frames from there are those of a render from the beginning.
//
// Shared by every engine of the piece (the takes of a live session, one
// after another): one engine may note its state while another restores,
// from different threads. A snapshot takes about 12.6 kB, so the trail of
// ten minutes of a piece about 1.9 MB (Bytes tells).

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

#include "engine/Engine.h"

namespace playback {

class Snapshots {
  public:
    static constexpr double kSpacingSeconds = 4.0;
    // None are kept past the first hour of a piece (900 snapshots, about
    // 11.4 MB), so that a piece left playing for ever stops adding to them.
    static constexpr int64_t kMaxCount = 900;

    Snapshots(std::shared_ptr<const song::Song> song, uint32_t rate, engine::Volumes volumes,
              uint32_t channelMask);

    Snapshots(const Snapshots&) = delete;
    Snapshots& operator=(const Snapshots&) = delete;

    // Whether this is the trail of that piece.
    bool Of(const std::shared_ptr<const song::Song>& song, uint32_t rate, engine::Volumes volumes,
            uint32_t channelMask) const;
    // Whether `engine` plays this piece (its song, rate, volumes and mask).
    bool Suits(const engine::Engine& engine) const;

    // Saves `engine`'s state when none is kept yet for its stretch of the
    // piece (kSpacingSeconds from a multiple of them), one of the first
    // kMaxCount. The engine must stand
    // where a render of the piece from the beginning would: one that Suits
    // and has not changed its volumes or mask since it started.
    void Note(const engine::Engine& engine);
    // The first frame past `frame` at which Note would keep a new snapshot
    // (the start of the next stretch): where a run-ahead pauses to note one.
    int64_t NextStretch(int64_t frame) const;

    // Restores into `engine` the latest snapshot at or before `frame` when
    // that brings it nearer: when the engine stands behind the snapshot, or
    // past `frame`. True when it restored one.
    bool Approach(engine::Engine& engine, int64_t frame) const;

    std::size_t Count() const;
    std::size_t Bytes() const;  // the snapshots' memory

  private:
    std::shared_ptr<const song::Song> song_;
    uint32_t rate_;
    engine::Volumes volumes_;
    uint32_t channelMask_;
    int64_t spacing_;  // frames
    mutable std::mutex mutex_;
    // By stretch; the snapshots are read-only once kept.
    std::map<int64_t, std::shared_ptr<const engine::Snapshot>> kept_;
};

// The trail of the piece (`song`, `rate`, `volumes`, `channelMask`): `held`
// when it is that piece's, else a new one, which `held` then holds too.
std::shared_ptr<Snapshots> SnapshotsFor(std::shared_ptr<Snapshots>& held,
                                        const std::shared_ptr<const song::Song>& song,
                                        uint32_t rate, engine::Volumes volumes,
                                        uint32_t channelMask);

}  // namespace playback
