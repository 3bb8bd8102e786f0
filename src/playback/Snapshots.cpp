#include "playback/Snapshots.h"

#include <algorithm>
#include <cmath>

namespace playback {

Snapshots::Snapshots(std::shared_ptr<const song::Song> song, uint32_t rate, engine::Volumes volumes,
                     uint32_t channelMask)
    : song_(std::move(song)),
      rate_(rate),
      volumes_(volumes),
      channelMask_(channelMask),
      spacing_(std::max<int64_t>(std::llround(kSpacingSeconds * rate), 1)) {}

bool Snapshots::Of(const std::shared_ptr<const song::Song>& song, uint32_t rate,
                   engine::Volumes volumes, uint32_t channelMask) const {
    return song == song_ && rate == rate_ && volumes == volumes_ && channelMask == channelMask_;
}

bool Snapshots::Suits(const engine::Engine& engine) const {
    return Of(engine.SharedSong(), engine.Rate(), engine.GetVolumes(), engine.ChannelMask());
}

void Snapshots::Note(const engine::Engine& engine) {
    const int64_t stretch = engine.Frame() / spacing_;
    if (stretch >= kMaxCount) return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (kept_.contains(stretch)) return;
    }
    if (!Suits(engine)) return;
    std::shared_ptr<const engine::Snapshot> snapshot = engine.Save();
    if (!snapshot) return;
    std::lock_guard<std::mutex> lock(mutex_);
    kept_.emplace(stretch, std::move(snapshot));
}

int64_t Snapshots::NextStretch(int64_t frame) const {
    return (std::max<int64_t>(frame, 0) / spacing_ + 1) * spacing_;
}

bool Snapshots::Approach(engine::Engine& engine, int64_t frame) const {
    std::shared_ptr<const engine::Snapshot> best;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = kept_.upper_bound(std::max<int64_t>(frame, 0) / spacing_);
        while (it != kept_.begin()) {
            --it;
            if (it->second->Frame() <= frame) {
                best = it->second;
                break;
            }
        }
    }
    if (!best) return false;
    if (engine.Frame() > best->Frame() && engine.Frame() <= frame) return false;
    return engine.Restore(*best);
}

std::size_t Snapshots::Count() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return kept_.size();
}

std::size_t Snapshots::Bytes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::size_t bytes = 0;
    for (const auto& [stretch, snapshot] : kept_) bytes += snapshot->Bytes();
    return bytes;
}

std::shared_ptr<Snapshots> SnapshotsFor(std::shared_ptr<Snapshots>& held,
                                        const std::shared_ptr<const song::Song>& song,
                                        uint32_t rate, engine::Volumes volumes,
                                        uint32_t channelMask) {
    if (!held || !held->Of(song, rate, volumes, channelMask)) {
        held = std::make_shared<Snapshots>(song, rate, volumes, channelMask);
    }
    return held;
}

}  // namespace playback
