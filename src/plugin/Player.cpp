#include "plugin/Player.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <string>

#include "engine/Settings.h"
#include "mml/Compile.h"
#include "platform/ErrorReporter.h"
#include "platform/Module.h"
#include "playback/FrameSource.h"
#include "playback/Position.h"

namespace plugin {

namespace {

constexpr uint32_t kDefaultRate = 44100;
constexpr uint32_t kChannels = 2;
constexpr uint32_t kBitsPerSample = 16;

}  // namespace

Player::Player() {
    const std::string settings = platform::SettingsPathForModule();
    volumes_ = engine::ReadVolumes(settings);
    exactSeek_ = engine::ReadExactSeek(settings);
}

Player::Player(engine::Volumes volumes, bool exactSeek)
    : volumes_(volumes), exactSeek_(exactSeek) {}

Player::~Player() = default;

bool Player::Open(const char* fileName, SoundInfo* info) {
    if (info == nullptr) return false;
    if (info->samplesPerSec == 0) info->samplesPerSec = kDefaultRate;
    info->channels = kChannels;
    info->bitsPerSample = kBitsPerSample;
    info->length = 0xFFFFFFFF;
    info->seekable = exactSeek_ ? 1 : 0;
    info->unitRender = 0;
    info->reserved1 = 0xFFFFFFFF;
    info->reserved2 = 0;

    // A failed reopen leaves a silent player, never one playing the old song.
    engine_.reset();
    snapshots_.reset();
    if (fileName == nullptr) return false;
    const Tarsel::FileCompileResult compiled = Tarsel::CompileFile(fileName);
    if (compiled.fault) platform::ShowError(compiled.fault->message);
    if (!compiled.song) return false;
    engine_ = std::make_unique<engine::Engine>(compiled.song, info->samplesPerSec, volumes_);
    if (!engine_->Ready()) return false;
    if (exactSeek_) {
        snapshots_ = std::make_shared<playback::Snapshots>(engine_->SharedSong(), engine_->Rate(),
                                                           volumes_, engine_->ChannelMask());
    }
    bytesPerFrame_ = info->channels * info->bitsPerSample / 8;
    format_ = *info;
    return true;
}

uint32_t Player::Render(void* buffer, uint32_t size) {
    if (buffer == nullptr) return 0;
    const uint32_t frames = size / bytesPerFrame_;
    if (engine_) {
        engine_->Render(static_cast<int16_t*>(buffer), static_cast<int32_t>(frames));
        if (snapshots_) snapshots_->Note(*engine_);
    } else {
        std::memset(buffer, 0, static_cast<std::size_t>(frames) * bytesPerFrame_);
    }
    return size;
}

uint32_t Player::Seek(uint32_t positionMs) {
    if (!engine_) return 0;
    if (!exactSeek_) {
        engine_->Restart();
        return 0;
    }
    const uint32_t rate = engine_->Rate();
    const int64_t frame =
        playback::FrameOfMilliseconds(std::min(positionMs, kMaxExactSeekMs), rate);
    playback::Seek(*engine_, frame, {}, std::numeric_limits<int64_t>::max(), snapshots_);
    return static_cast<uint32_t>(playback::MillisecondsOfFrame(frame, rate));
}

}  // namespace plugin
