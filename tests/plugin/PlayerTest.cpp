#include "plugin/Player.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "engine/Settings.h"
#include "platform/ErrorReporter.h"
#include "support/ScratchFolder.h"

using plugin::Player;

namespace {

// A file with the given text in a scratch folder of its own.
class TempFile {
  public:
    TempFile(const std::string& text, const char* suffix)
        : folder_("velnari-player"), path_(folder_.Write(std::string("file") + suffix, text)) {}
    const char* path() const { return path_.c_str(); }

  private:
    testsupport::ScratchFolder folder_;
    std::string path_;
};

// FM with channel 3's operator ratios, SSG with software and hardware
// envelopes, vibrato, portamento and tremolo.
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

struct WriteLog : engine::RegisterWriteObserver {
    void OnRegisterWrite(int64_t frame, uint32_t addr, uint32_t data) override {
        writes.push_back({frame, addr, data});
    }
    std::vector<std::tuple<int64_t, uint32_t, uint32_t>> writes;
};

class PlayerTest : public ::testing::Test {
  protected:
    std::vector<uint8_t> RenderBytes(uint32_t total, uint32_t piece) {
        Player player(engine::Volumes{});
        SoundInfo info{};
        EXPECT_TRUE(player.Open(song_.path(), &info));
        std::vector<uint8_t> out(total, 0x5A);
        for (uint32_t done = 0; done < total; done += piece) {
            const uint32_t size = std::min(piece, total - done);
            EXPECT_EQ(player.Render(out.data() + done, size), size);
        }
        return out;
    }

    TempFile song_{kSong, ".mml"};
};

TEST_F(PlayerTest, OpenFixesTheFormatOrFailsAfterWritingIt) {
    for (auto [hostRate, rate, perTick] : {std::tuple{0u, 44100u, 1002}, {48000u, 48000u, 1091}}) {
        Player player(engine::Volumes{});
        SoundInfo info{};
        info.samplesPerSec = hostRate;
        ASSERT_TRUE(player.Open(song_.path(), &info));
        const SoundInfo expected{rate, 2, 16, 0xFFFFFFFF, 0, 0, 0xFFFFFFFF, 0};
        EXPECT_EQ(std::memcmp(&info, &expected, sizeof info), 0);
        EXPECT_EQ(std::memcmp(&player.Format(), &expected, sizeof info), 0);
        EXPECT_EQ(player.Engine()->FramesPerTick(), perTick);  // tempo 150
    }
    Player player(engine::Volumes{});
    EXPECT_FALSE(player.Open(song_.path(), nullptr));
    SoundInfo info{};
    EXPECT_FALSE(player.Open("/nonexistent/velnari/none.mml", &info));
    EXPECT_EQ(info.samplesPerSec, 44100u);
    EXPECT_EQ(player.Engine(), nullptr);
    for (uint32_t rate : {7999u, 192001u, 0xFFFFFFFFu}) {
        info = SoundInfo{rate, 0, 0, 0, 0, 0, 0, 0};
        EXPECT_FALSE(player.Open(song_.path(), &info)) << rate;
        EXPECT_EQ(info.samplesPerSec, rate);
        EXPECT_EQ(info.length, 0xFFFFFFFFu);
    }
    // Without a song: silence, and no restart.
    Player empty(engine::Volumes{});
    std::vector<uint8_t> buffer(64, 0x77);
    EXPECT_EQ(empty.Render(buffer.data(), 64), 64u);
    EXPECT_EQ(buffer, std::vector<uint8_t>(64, 0));
    EXPECT_EQ(empty.Render(nullptr, 64), 0u);
    empty.Seek();
    EXPECT_EQ(empty.Engine(), nullptr);

    // Tag lines open and play as the song without them.
    const TempFile tagged(std::string("#title Rain ; one\n#composer Ann\n") + kSong, ".mml");
    std::vector<uint8_t> plainBytes(4096), taggedBytes(4096, 1);
    Player plainPlayer(engine::Volumes{}), taggedPlayer(engine::Volumes{});
    info = SoundInfo{};
    ASSERT_TRUE(plainPlayer.Open(song_.path(), &info));
    ASSERT_TRUE(taggedPlayer.Open(tagged.path(), &info));
    plainPlayer.Render(plainBytes.data(), 4096);
    taggedPlayer.Render(taggedBytes.data(), 4096);
    EXPECT_EQ(plainBytes, taggedBytes);
}

TEST(PlayerFaults, ACompileFaultIsShownOnceUnderTheShiftJisCaptionAndTheOpenFails) {
    const TempFile file("sound:1\r\n1: l8 c\r\n1: c4 ! d\r\n2: e\r\n", ".mml");
    std::vector<std::pair<std::string, std::string>> shown;
    const platform::ErrorReporter previous =
        platform::SetErrorReporter([&](std::string_view caption, std::string_view text) {
            shown.emplace_back(caption, text);
        });
    Player player(engine::Volumes{});
    SoundInfo info{};
    EXPECT_FALSE(player.Open(file.path(), &info));
    EXPECT_FALSE(player.Open("/nonexistent/velnari/none.mml", &info));  // silently
    platform::SetErrorReporter(previous);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].first, "\x83\x47\x83\x89\x81\x5B");
    EXPECT_EQ(shown[0].second, std::string(file.path()) + "(3) : parse error at \"! d\"\n");
}

// Opening other files, or failing to, leaves an open player's SSG volume alone.
TEST_F(PlayerTest, OtherOpensDoNotChangeAPlayersVolume) {
    constexpr uint32_t kHalf = 4 * 44100;
    auto open = [&](Player& player) {
        SoundInfo info{};
        return player.Open(song_.path(), &info);
    };
    Player alone(engine::Volumes{0, -40});
    ASSERT_TRUE(open(alone));
    std::vector<uint8_t> expected(2 * kHalf), got(2 * kHalf);
    alone.Render(expected.data(), 2 * kHalf);

    Player quiet(engine::Volumes{0, -40});
    ASSERT_TRUE(open(quiet));
    quiet.Render(got.data(), kHalf);
    Player missing(engine::Volumes{}), loud(engine::Volumes{});
    SoundInfo info{};
    EXPECT_FALSE(missing.Open("/nonexistent/velnari/none.mml", &info));
    ASSERT_TRUE(open(loud));
    quiet.Render(got.data() + kHalf, kHalf);
    EXPECT_EQ(got, expected);
}

TEST_F(PlayerTest, AFailedReopenLeavesAPlayerThatRendersSilence) {
    Player player(engine::Volumes{});
    SoundInfo info{};
    ASSERT_TRUE(player.Open(song_.path(), &info));
    std::vector<uint8_t> buffer(4 * 2048);
    player.Render(buffer.data(), static_cast<uint32_t>(buffer.size()));
    ASSERT_NE(std::count(buffer.begin(), buffer.end(), 0), static_cast<long>(buffer.size()));

    // The old song is gone with the failed open; nothing may still play it.
    EXPECT_FALSE(player.Open("/nonexistent/velnari/none.mml", &info));
    EXPECT_EQ(player.Engine(), nullptr);
    std::fill(buffer.begin(), buffer.end(), 0x55);
    EXPECT_EQ(player.Render(buffer.data(), static_cast<uint32_t>(buffer.size())), buffer.size());
    EXPECT_EQ(buffer, std::vector<uint8_t>(buffer.size(), 0));
    player.Seek();
    EXPECT_EQ(player.Engine(), nullptr);

    // And it opens a song again and plays it.
    ASSERT_TRUE(player.Open(song_.path(), &info));
    ASSERT_NE(player.Engine(), nullptr);
    player.Render(buffer.data(), static_cast<uint32_t>(buffer.size()));
    EXPECT_NE(std::count(buffer.begin(), buffer.end(), 0), static_cast<long>(buffer.size()));
}

TEST_F(PlayerTest, RenderFillsWholeFramesWhateverTheRequestSizes) {
    constexpr uint32_t kBytes = 4 * 40000;
    const auto whole = RenderBytes(kBytes, kBytes);
    EXPECT_LT(std::count(whole.begin(), whole.end(), 0), static_cast<long>(kBytes) / 2);
    EXPECT_EQ(RenderBytes(kBytes, 4), whole);
    EXPECT_EQ(RenderBytes(kBytes, 4 * 4099), whole);
    EXPECT_EQ(RenderBytes(kBytes, 4 * 1002), whole);  // one tick per request
    // 4098 bytes: 1024 frames; the two bytes after them are left alone.
    const auto partial = RenderBytes(4098, 4098);
    EXPECT_TRUE(std::equal(partial.begin(), partial.begin() + 4096, whole.begin()));
    EXPECT_EQ(partial[4096], 0x5A);
    EXPECT_EQ(partial[4097], 0x5A);
}

TEST_F(PlayerTest, EverySeekReplaysTheSameWritesWithTheStoredVolumes) {
    Player player(engine::Volumes{4, -6});
    SoundInfo info{};
    std::vector<uint8_t> buffer(4 * 30000);
    ASSERT_TRUE(player.Open(song_.path(), &info));
    player.Render(buffer.data(), static_cast<uint32_t>(buffer.size()));
    WriteLog log;
    player.Engine()->SetRegisterWriteObserver(&log);
    player.Seek();
    player.Render(buffer.data(), static_cast<uint32_t>(buffer.size()));
    const auto afterSeek = std::exchange(log.writes, {});
    ASSERT_GT(afterSeek.size(), 500u);
    const auto gain = static_cast<int32_t>(std::pow(10.0, 4 / 40.0) * 16384);  // 2 dB
    EXPECT_EQ(player.Engine()->Chip().FMGain(), gain);

    player.Seek();
    player.Render(buffer.data(), static_cast<uint32_t>(buffer.size()));
    EXPECT_EQ(log.writes, afterSeek);
    EXPECT_EQ(player.Engine()->Chip().FMGain(), gain);
}

// With exact seeking, wherever the player stands, a seek lands on the bytes a
// fresh open has at that position: inside a note, on a tick boundary (tick 48
// at 48000 Hz is 1091 ms), at the start, forward and backward. Positions past
// the limit stop there, quickly on a song that keeps the chip silent.
TEST_F(PlayerTest, ExactSeekLandsWhereAFreshOpenIsAtThatPosition) {
    constexpr uint32_t kRate = 48000;
    constexpr uint32_t kBytes = 4 * 24000;
    Player fresh(engine::Volumes{2, -4});
    SoundInfo info{kRate, 0, 0, 0, 0, 0, 0, 0};
    ASSERT_TRUE(fresh.Open(song_.path(), &info));
    EXPECT_EQ(info.seekable, 0u);
    std::vector<uint8_t> reference(4 * kRate * 3);
    fresh.Render(reference.data(), static_cast<uint32_t>(reference.size()));

    Player player(engine::Volumes{2, -4}, true);
    info = SoundInfo{kRate, 0, 0, 0, 0, 0, 0, 0};
    ASSERT_TRUE(player.Open(song_.path(), &info));
    EXPECT_EQ(info.seekable, 1u);
    std::vector<uint8_t> out(kBytes);
    for (const uint32_t ms : {1234u, 1091u, 0u, 2000u, 3u, 500u}) {
        EXPECT_EQ(player.Seek(ms), ms);
        ASSERT_EQ(player.Render(out.data(), kBytes), kBytes);
        EXPECT_TRUE(std::equal(out.begin(), out.end(), reference.begin() + 4 * ms * (kRate / 1000)))
            << "after Seek(" << ms << ")";
    }

    const TempFile quiet("1: t120 r1 r1\n", ".mml");
    info = SoundInfo{8000, 0, 0, 0, 0, 0, 0, 0};
    ASSERT_TRUE(player.Open(quiet.path(), &info));
    EXPECT_EQ(player.Seek(0xFFFFFFFF), Player::kMaxExactSeekMs);
    EXPECT_EQ(player.Engine()->Frame(), int64_t{Player::kMaxExactSeekMs} * 8);
}

TEST(PlayerVolumesTest, AValueThatIsNotAnIntegerEndsTheReading) {
    struct Case {
        const char* ini;
        int32_t fm, ssg;
    };
    const Case cases[] = {
        {"[velnari]\nFMVolume=4\nPSGVolume=-6\n", 4, -6},
        {"[velnari]\nFMVolume=abc\nPSGVolume=-6\n", 0, 0},  // a bad FM volume zeroes both
        {"[velnari]\nFMVolume=4\nPSGVolume=abc\n", 4, 0},   // a bad SSG volume keeps FM
        {"[velnari]\nFMVolume=4.5\nPSGVolume=2\n", 0, 0},
        {"[velnari]\nFMVolume=\nPSGVolume=2\n", 0, 0},
        {"[velnari]\nFMVolume=1\nPSGVolume=99999999999\n", 1, 0},
        {"[VELNARI]\npsgvolume = 3\n", 0, 3},
        {"[velnari]\nFMVolume=\"-2\"\n", -2, 0},
    };
    for (const auto& c : cases) {
        TempFile ini(c.ini, ".ini");
        const engine::Volumes v = engine::ReadVolumes(ini.path());
        EXPECT_EQ(v.fm, c.fm) << c.ini;
        EXPECT_EQ(v.ssg, c.ssg) << c.ini;
    }
    const engine::Volumes none = engine::ReadVolumes("/nonexistent/velnari/none.ini");
    EXPECT_EQ(none.fm, 0);
    EXPECT_EQ(none.ssg, 0);
}

}  // namespace

// A channel whose operators fall silent inside a long mix used to keep running
// to the end of that mix, so where a request ended moved a later envelope step
// and changed the samples. This song (found by fuzzing) shows it within 3 s.
TEST(PlayerRequestCuts, SamplesDoNotDependOnWhereRequestsEnd) {
    std::ifstream in(VELNARI_SOURCE_DIR
                     "/tests/fuzz/regressions/render/request-cuts-move-an-envelope-step",
                     std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GT(bytes.size(), 4u);
    const TempFile song(bytes.substr(4), ".mml");  // the fuzz input's 4-byte header is dropped

    auto render = [&](uint32_t piece) {
        constexpr uint32_t kBytes = 4 * 44100 * 3;
        Player player(engine::Volumes{});
        SoundInfo info{44100, 0, 0, 0, 0, 0, 0, 0};
        EXPECT_TRUE(player.Open(song.path(), &info));
        std::vector<uint8_t> out(kBytes);
        for (uint32_t at = 0; at < kBytes; at += piece)
            player.Render(out.data() + at, std::min(piece, kBytes - at));
        return out;
    };
    const auto whole = render(4 * 44100 * 3);
    EXPECT_EQ(render(4 * 1024), whole);
    EXPECT_EQ(render(4 * 333), whole);
    EXPECT_EQ(render(4 * 5000), whole);
}
