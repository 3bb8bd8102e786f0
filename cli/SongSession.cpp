#include "SongSession.h"

#include "CliError.h"
#include "CompileFaults.h"
#include "platform/Module.h"
#include "plugin/Player.h"
#include "plugin/SoundInfo.h"
#include "sequencer/Sequencer.h"
#include "song/Song.h"

// Runs the player's sequencer ahead for the loop detector.
class SongSession::Ahead : public TickSource {
  public:
    explicit Ahead(Player& player) : player_(player) {}

    void Tick() override { Seq().Tick(); }
    int64_t TicksRun() const override { return Seq().CurrentTick(); }
    bool IsPartUsed(int part) const override { return player_.GetSong()->IsPartUsed(part); }
    bool IsPartActive(int part) const override { return Seq().IsActive(part); }
    int64_t PassesCompleted(int part) const override { return Seq().Passes(part); }
    int64_t LastPassEndTick(int part) const override { return Seq().PassEndTick(part); }

  private:
    Sequencer& Seq() const { return *player_.GetSequencer(); }

    Player& player_;
};

namespace {

std::unique_ptr<Player> MakePlayer(std::optional<int32_t> fmVolume,
                                   std::optional<int32_t> ssgVolume) {
    if (!fmVolume && !ssgVolume) return std::make_unique<Player>();
    // An override for one section keeps the settings file's value for the other.
    const Player::Volumes settings = Player::ReadVolumes(platform::SettingsPathForModule());
    return std::make_unique<Player>(fmVolume.value_or(settings.fm),
                                    ssgVolume.value_or(settings.ssg));
}

}  // namespace

SongSession::SongSession(const std::string& file, uint32_t rate, std::optional<int32_t> fmVolume,
                         std::optional<int32_t> ssgVolume, uint32_t chipMask)
    : player_(MakePlayer(fmVolume, ssgVolume)) {
    const int faultsBefore = CompileFaultsShown();
    SoundInfo info{};
    info.samplesPerSec = rate;
    if (!player_->Open(file.c_str(), &info) || player_->GetSequencer() == nullptr) {
        // A compile fault has been printed already; anything else is a file
        // that could not be read.
        if (CompileFaultsShown() != faultsBefore) throw CliError(kExitFailure, "");
        throw CliError(kExitFailure, "cannot read '" + file + "' (missing, unreadable or empty)");
    }
    player_->Chip().SetChannelMask(chipMask);
    ahead_ = std::make_unique<Ahead>(*player_);
}

SongSession::~SongSession() = default;

void SongSession::Render(int16_t* frames, int32_t count) {
    player_->Render(frames, static_cast<uint32_t>(count) * 4);
}

TickSource& SongSession::Ticks() {
    return *ahead_;
}

int32_t SongSession::SamplesPerTick() const {
    return player_->GetSequencer()->SamplesPerTick();
}

const Song& SongSession::GetSong() const {
    return *player_->GetSong();
}
