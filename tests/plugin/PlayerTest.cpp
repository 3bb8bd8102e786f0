#include "plugin/Player.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "fm/OPN.h"
#include "sequencer/Sequencer.h"
#include "song/Song.h"

namespace {

// A file in the temporary folder with the given text, removed at the end.
class TempFile {
  public:
    TempFile(const std::string& text, const char* suffix) {
        char name[] = "/tmp/velnari-player-XXXXXX";
        const int fd = mkstemp(name);
        EXPECT_GE(fd, 0);
        close(fd);
        std::remove(name);
        path_ = std::string(name) + suffix;
        std::ofstream(path_, std::ios::binary) << text;
    }
    ~TempFile() { std::remove(path_.c_str()); }
    const char* path() const { return path_.c_str(); }

  private:
    std::string path_;
};

// FM on parts 1 and 3 (channel 3 with its operator ratios), SSG with a
// software envelope, a hardware envelope and portamento.
const char kSong[] =
    "sound:@1\n"
    "lfo:0,0,0,4,5\n"
    "op1:31,10,0,7,3,40,1,1,3,1\n"
    "op2:31,5,2,7,3,8,1,1,3,0\n"
    "op3:31,12,0,7,4,52,1,7,0,2\n"
    "op4:31,5,2,7,3,12,1,1,7,0\n"
    "ssgenv:@2,2,15,13,11,9\n"
    "1:t150 @1 v13 o4 c8 e8 g8 >c8 i20,2,4 c4 r8\n"
    "3:@1 o3 c4 p6 g4 > c2\n"
    "4:@2 o5 c8 d8 e8 f8 u3,2,0 g4\n"
    "5:s8 m400 o4 c4 r4\n";

struct WriteLog : FM::RegisterObserver {
    void OnSetReg(uint32_t addr, uint32_t data) override { writes.emplace_back(addr, data); }
    std::vector<std::pair<uint32_t, uint32_t>> writes;
};

class PlayerTest : public ::testing::Test {
  protected:
    TempFile song_{kSong, ".mml"};
};

TEST_F(PlayerTest, OpenWritesTheOutputFormat) {
    struct Case {
        uint32_t hostRate;
        uint32_t rate;
        int32_t samplesPerTick;  // tempo 150
    };
    for (const Case& c : {Case{0, 44100, 1002}, Case{48000, 48000, 1091}}) {
        Player player(0, 0);
        SoundInfo info{};
        info.samplesPerSec = c.hostRate;
        ASSERT_TRUE(player.Open(song_.path(), &info));
        EXPECT_EQ(info.samplesPerSec, c.rate);
        EXPECT_EQ(info.channels, 2u);
        EXPECT_EQ(info.bitsPerSample, 16u);
        EXPECT_EQ(info.length, 0xFFFFFFFFu);
        EXPECT_EQ(info.seekable, 0u);
        EXPECT_EQ(info.unitRender, 0u);
        EXPECT_EQ(info.reserved1, 0xFFFFFFFFu);
        EXPECT_EQ(info.reserved2, 0u);
        EXPECT_EQ(std::memcmp(&player.Format(), &info, sizeof info), 0);
        ASSERT_NE(player.GetSequencer(), nullptr);
        EXPECT_EQ(player.GetSequencer()->SamplesPerTick(), c.samplesPerTick);
        ASSERT_NE(player.GetSong(), nullptr);
        EXPECT_EQ(player.GetSong()->GetTempo(), 150);
    }
}

TEST_F(PlayerTest, OpenFailsWithoutFormatSongOrUsableRate) {
    Player player(0, 0);
    EXPECT_FALSE(player.Open(song_.path(), nullptr));

    SoundInfo missing{};
    EXPECT_FALSE(player.Open("/nonexistent/velnari/none.mml", &missing));
    EXPECT_EQ(missing.samplesPerSec, 44100u);  // written before the song was tried
    EXPECT_EQ(player.GetSong(), nullptr);

    for (uint32_t rate : {7999u, 192001u, 0xFFFFFFFFu}) {
        SoundInfo info{};
        info.samplesPerSec = rate;
        EXPECT_FALSE(player.Open(song_.path(), &info)) << rate;
        EXPECT_EQ(info.samplesPerSec, rate);
        EXPECT_EQ(info.channels, 2u);
        EXPECT_EQ(info.length, 0xFFFFFFFFu);
    }
}

TEST_F(PlayerTest, StoredVolumesReachTheChipAtEveryStart) {
    Player player(4, -6);
    SoundInfo info{};
    ASSERT_TRUE(player.Open(song_.path(), &info));
    const auto expected = static_cast<int32_t>(std::pow(10.0, 4 / 40.0) * 16384);
    EXPECT_EQ(player.Chip().FMGain(), expected);
    player.Chip().SetVolumeFM(0);
    player.Seek();
    EXPECT_EQ(player.Chip().FMGain(), expected);
}

std::vector<uint8_t> RenderBytes(const char* file, uint32_t total, uint32_t piece) {
    Player player(0, 0);
    SoundInfo info{};
    EXPECT_TRUE(player.Open(file, &info));
    std::vector<uint8_t> out(total, 0x5A);
    for (uint32_t done = 0; done < total; done += piece) {
        const uint32_t size = std::min(piece, total - done);
        EXPECT_EQ(player.Render(out.data() + done, size), size);
    }
    return out;
}

TEST_F(PlayerTest, RenderFillsWholeFramesAndIgnoresHowRequestsAreCut) {
    constexpr uint32_t kBytes = 4 * 40000;
    const auto whole = RenderBytes(song_.path(), kBytes, kBytes);
    EXPECT_NE(std::count(whole.begin(), whole.end(), 0), static_cast<long>(kBytes));
    EXPECT_EQ(RenderBytes(song_.path(), kBytes, 4), whole);
    EXPECT_EQ(RenderBytes(song_.path(), kBytes, 4 * 4099), whole);

    // 4098 bytes: 1024 frames; the two bytes past them are left alone.
    const auto partial = RenderBytes(song_.path(), 4098, 4098);
    EXPECT_TRUE(std::equal(partial.begin(), partial.begin() + 4096, whole.begin()));
    EXPECT_EQ(partial[4096], 0x5A);
    EXPECT_EQ(partial[4097], 0x5A);
}

TEST_F(PlayerTest, SeekReplaysTheSameRegisterWritesAsOpen) {
    Player player(0, 0);
    WriteLog log;
    player.Chip().SetRegisterObserver(&log);
    SoundInfo info{};
    std::vector<uint8_t> buffer(4 * 30000);
    ASSERT_TRUE(player.Open(song_.path(), &info));
    player.Render(buffer.data(), static_cast<uint32_t>(buffer.size()));
    const auto afterOpen = log.writes;
    ASSERT_GT(afterOpen.size(), 500u);

    log.writes.clear();
    player.Seek();
    player.Render(buffer.data(), static_cast<uint32_t>(buffer.size()));
    EXPECT_EQ(log.writes, afterOpen);
    player.Chip().SetRegisterObserver(nullptr);
}

TEST_F(PlayerTest, RenderWithoutASongIsSilentAndANullBufferIsLeftAlone) {
    Player player(0, 0);
    std::vector<uint8_t> buffer(4096, 0x77);
    EXPECT_EQ(player.Render(buffer.data(), 4096), 4096u);
    EXPECT_EQ(buffer, std::vector<uint8_t>(4096, 0));
    EXPECT_EQ(player.Render(nullptr, 4096), 0u);
    EXPECT_FALSE(player.Restart(44100));
}

// ---- Volumes from the settings file ------------------------------------------

TEST(PlayerVolumesTest, AValueThatIsNotAnIntegerEndsTheReading) {
    struct Case {
        const char* name;
        const char* ini;
        int32_t fm;
        int32_t ssg;
    };
    const Case cases[] = {
        {"both", "[velnari]\nFMVolume=4\nPSGVolume=-6\n", 4, -6},
        {"bad FM zeroes both", "[velnari]\nFMVolume=abc\nPSGVolume=-6\n", 0, 0},
        {"bad SSG keeps FM", "[velnari]\nFMVolume=4\nPSGVolume=abc\n", 4, 0},
        {"fraction", "[velnari]\nFMVolume=4.5\nPSGVolume=2\n", 0, 0},
        {"empty value", "[velnari]\nFMVolume=\nPSGVolume=2\n", 0, 0},
        {"out of range", "[velnari]\nFMVolume=1\nPSGVolume=99999999999\n", 1, 0},
        {"missing keys", "[velnari]\n", 0, 0},
        {"only SSG", "[VELNARI]\npsgvolume = 3\n", 0, 3},
        {"quoted", "[velnari]\nFMVolume=\"-2\"\n", -2, 0},
    };
    for (const auto& c : cases) {
        TempFile ini(c.ini, ".ini");
        const Player::Volumes v = Player::ReadVolumes(ini.path());
        EXPECT_EQ(v.fm, c.fm) << c.name;
        EXPECT_EQ(v.ssg, c.ssg) << c.name;
    }
    const Player::Volumes none = Player::ReadVolumes("/nonexistent/velnari/none.ini");
    EXPECT_EQ(none.fm, 0);
    EXPECT_EQ(none.ssg, 0);
}

}  // namespace
