#include "reglog/SongRecording.h"

#include <cstring>

#include "reglog/RegisterLog.h"

namespace reglog {

namespace {

constexpr uint64_t kHashBasis = 14695981039346656037ull;  // FNV-1a, 64 bits
constexpr uint64_t kHashPrime = 1099511628211ull;

}  // namespace

class SongRecording::Tap : public engine::RegisterWriteObserver {
  public:
    explicit Tap(SongRecording& recording) : recording_(recording) {}

    void OnRegisterWrite(int64_t, uint32_t address, uint32_t data) override {
        if (address > 0xFF) return;  // the chip ignores it, and no log can say it
        const RegisterWrite write{static_cast<uint8_t>(address), static_cast<uint8_t>(data)};
        SongRecording& r = recording_;
        if (!r.started_) {
            r.startup_.push_back(write);
            return;
        }
        const int64_t tick = r.engine_->Tick();
        if (r.groups_.empty() || r.groups_.back().tick != tick) {
            const auto at = static_cast<uint32_t>(r.writes_.size());
            r.groups_.push_back({tick, at, at, kHashBasis});
        }
        Group& group = r.groups_.back();
        r.writes_.push_back(write);
        group.end = static_cast<uint32_t>(r.writes_.size());
        group.hash = ((group.hash ^ write.address) * kHashPrime ^ write.data) * kHashPrime;
    }

  private:
    SongRecording& recording_;
};

SongRecording::SongRecording(std::shared_ptr<const song::Song> song)
    : tap_(std::make_unique<Tap>(*this)),
      engine_(std::make_unique<engine::Engine>(std::move(song), kLogRate)) {
    // A fresh start with the observer in place records the start-up writes.
    engine_->SetRegisterWriteObserver(tap_.get());
    engine_->SeekToFrame(0);
    started_ = true;
}

SongRecording::~SongRecording() {
    engine_->SetRegisterWriteObserver(nullptr);
}

void SongRecording::RunTo(int64_t ticks) {
    while (engine_->Ready() && engine_->Tick() < ticks) engine_->SkipTick();
}

bool SongRecording::SameWrites(const Group& a, const Group& b) const {
    return a.hash == b.hash && a.end - a.begin == b.end - b.begin &&
           std::memcmp(Writes(a), Writes(b), (a.end - a.begin) * sizeof(RegisterWrite)) == 0;
}

}  // namespace reglog
