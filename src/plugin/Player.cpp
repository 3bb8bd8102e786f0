#include "plugin/Player.h"

#include <boost/lexical_cast.hpp>
#include <cstring>

#include "platform/Module.h"
#include "platform/Profile.h"
#include "plugin/LoadSong.h"
#include "sequencer/Sequencer.h"
#include "song/Song.h"

namespace {

constexpr char kSection[] = "velnari";
constexpr uint32_t kDefaultRate = 44100;
constexpr uint32_t kChannels = 2;
constexpr uint32_t kBitsPerSample = 16;

}  // namespace

Player::Volumes Player::ReadVolumes(const std::string& settingsFile) {
    Volumes volumes;
    try {
        volumes.fm = boost::lexical_cast<int32_t>(
            platform::ReadProfileString(settingsFile, kSection, "FMVolume", "0"));
        volumes.ssg = boost::lexical_cast<int32_t>(
            platform::ReadProfileString(settingsFile, kSection, "PSGVolume", "0"));
    } catch (const boost::bad_lexical_cast&) {
        // The value that failed, and those not yet read, keep their 0.
    }
    return volumes;
}

Player::Player() : volumes_(ReadVolumes(platform::SettingsPathForModule())) {}

Player::Player(int32_t fmVolume, int32_t ssgVolume) : volumes_{fmVolume, ssgVolume} {}

Player::~Player() {
    song_.reset();
    sequencer_.reset();
}

bool Player::Open(const char* fileName, SoundInfo* info) {
    if (info == nullptr) return false;
    if (info->samplesPerSec == 0) info->samplesPerSec = kDefaultRate;
    info->channels = kChannels;
    info->bitsPerSample = kBitsPerSample;
    info->length = 0xFFFFFFFF;
    info->seekable = 0;
    info->unitRender = 0;
    info->reserved1 = 0xFFFFFFFF;
    info->reserved2 = 0;

    if (!LoadSong(fileName)) return false;
    if (!Restart(info->samplesPerSec)) return false;
    bytesPerFrame_ = info->channels * info->bitsPerSample / 8;
    format_ = *info;
    return true;
}

bool Player::LoadSong(const char* fileName) {
    // The sequencer plays from the song it was made with; it goes first, so a
    // failed reload leaves a silent player, never one that reads a freed song.
    sequencer_.reset();
    song_.reset();
    if (fileName == nullptr) return false;
    song_ = ::LoadSong(fileName);
    return song_ != nullptr;
}

bool Player::Restart(uint32_t rate) {
    sequencer_.reset();
    if (!song_) return false;
    sequencer_ = std::make_unique<Sequencer>(&chip_, song_.get());
    if (!sequencer_->Init(rate)) return false;
    chip_.SetVolumeFM(volumes_.fm);
    chip_.SetVolumePSG(volumes_.ssg);
    return true;
}

uint32_t Player::Render(void* buffer, uint32_t size) {
    if (buffer == nullptr) return 0;
    const uint32_t frames = size / bytesPerFrame_;
    if (sequencer_) {
        sequencer_->Render(static_cast<int16_t*>(buffer), static_cast<int32_t>(frames));
    } else {
        std::memset(buffer, 0, static_cast<std::size_t>(frames) * bytesPerFrame_);
    }
    return size;
}

void Player::Seek() {
    Restart(format_.samplesPerSec);
}
