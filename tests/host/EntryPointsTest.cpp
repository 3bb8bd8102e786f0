// The entry points as a host calls them, in-process: the record, the rules
// for null and odd arguments, what Open writes, and that rendering, seeking
// and several open handles give the bytes the player gives.

#include "plugin/EntryPoints.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "HostTestSupport.h"
#include "platform/ErrorReporter.h"
#include "sequencer/Sequencer.h"

using plugin::Player;

namespace {

using hosttest::RenderWithPlayer;
using hosttest::ScratchFolder;
using hosttest::SongPath;

constexpr uint8_t kFill = 0xA5;

// Captures compile-fault messages instead of printing them.
class EntryPointsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        previous_ = platform::SetErrorReporter(
            [this](std::string_view, std::string_view text) { messages_.emplace_back(text); });
    }
    void TearDown() override { platform::SetErrorReporter(previous_); }

    PluginHandle OpenSong(const std::string& path, uint32_t rate = 0) {
        SoundInfo info{};
        info.samplesPerSec = rate;
        return plugin::Open(path.c_str(), &info);
    }

    std::vector<uint8_t> RenderBytes(PluginHandle handle, uint32_t bytes) {
        std::vector<uint8_t> pcm(bytes, kFill);
        EXPECT_EQ(plugin::Render(handle, pcm.data(), bytes), bytes);
        return pcm;
    }

    std::vector<std::string> messages_;
    platform::ErrorReporter previous_;
};

TEST_F(EntryPointsTest, RecordIsOneStaticRecordListingTheEntryPoints) {
    const ModuleRecord* record = plugin::GetModuleRecord();
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(plugin::GetModuleRecord(), record);
    EXPECT_EQ(record->version, 100u);
    EXPECT_EQ(record->pluginVersion, 1u);
    EXPECT_EQ(record->reentrant, 1u);
    for (const char* text : {record->copyright, record->description}) {
        ASSERT_NE(text, nullptr);
        EXPECT_GT(std::strlen(text), 0u);
        EXPECT_EQ(std::strpbrk(text, "\r\n"), nullptr) << text;
    }
    ASSERT_NE(record->extensions, nullptr);
    EXPECT_STREQ(record->extensions[0], ".mml");
    EXPECT_STREQ(record->extensions[1], ".tarsel");
    EXPECT_EQ(record->extensions[2], nullptr);
    EXPECT_EQ(record->init, nullptr);
    EXPECT_EQ(record->deinit, nullptr);
    EXPECT_EQ(record->openFromBuffer, nullptr);
    EXPECT_EQ(record->open, &plugin::Open);
    EXPECT_EQ(record->close, &plugin::Close);
    EXPECT_EQ(record->render, &plugin::Render);
    EXPECT_EQ(record->setPosition, &plugin::SetPosition);
}

TEST_F(EntryPointsTest, NullHandleIsRefusedWithoutTouchingAnything) {
    std::vector<uint8_t> buffer(4096, kFill);
    EXPECT_EQ(plugin::Render(nullptr, buffer.data(), 4096), 0u);
    EXPECT_TRUE(std::all_of(buffer.begin(), buffer.end(), [](uint8_t b) { return b == kFill; }));
    EXPECT_EQ(plugin::SetPosition(nullptr, 90000), 0u);
    plugin::Close(nullptr);
}

TEST_F(EntryPointsTest, OpenWritesTheOutputFormat) {
    struct Case {
        uint32_t hostRate;
        uint32_t expectedRate;
    };
    for (const Case c : {Case{0, 44100}, Case{48000, 48000}, Case{22050, 22050}}) {
        SoundInfo info{};
        std::memset(&info, 0x5A, sizeof info);
        info.samplesPerSec = c.hostRate;
        PluginHandle handle = plugin::Open(SongPath("duet.mml").c_str(), &info);
        ASSERT_NE(handle, nullptr) << c.hostRate;
        EXPECT_EQ(info.samplesPerSec, c.expectedRate);
        EXPECT_EQ(info.channels, 2u);
        EXPECT_EQ(info.bitsPerSample, 16u);
        EXPECT_EQ(info.length, 0xFFFFFFFFu);
        EXPECT_EQ(info.seekable, 0u);
        EXPECT_EQ(info.unitRender, 0u);
        EXPECT_EQ(info.reserved1, 0xFFFFFFFFu);
        EXPECT_EQ(info.reserved2, 0u);
        plugin::Close(handle);
    }
    EXPECT_TRUE(messages_.empty());
}

TEST_F(EntryPointsTest, FailedOpensReturnNullAndReportOnlyCompileFaults) {
    ScratchFolder scratch;
    scratch.Write("empty.mml", "");
    const std::string faulty = "sound:@1\n1: o4 c4 d4\n1: e4 ! f4\n";
    // Names are bytes: one that is not UTF-8, and one past MAX_PATH.
    const std::string deep = std::string(200, 'd') + "/" + std::string(200, 'e');
    std::filesystem::create_directories(scratch.Path() / deep);
    struct Case {
        const char* what;
        std::string path;
        uint32_t rate;
        bool reported;
    };
    const Case cases[] = {
        {"missing file", scratch.File("missing.mml"), 0, false},
        {"empty file", scratch.File("empty.mml"), 0, false},
        {"a folder", scratch.Path().string(), 0, false},
        {"faulty song", SongPath("faulty.mml"), 0, true},
        {"faulty song, name not UTF-8", scratch.Write("\x81\x7f\xff.mml", faulty), 0, true},
        {"faulty song, long path", scratch.Write(deep + "/f.mml", faulty), 0, true},
        {"rate too low for the player", SongPath("duet.mml"), 1, false},
        {"rate too high for the player", SongPath("duet.mml"), 4000000, false},
    };
    for (const Case& c : cases) {
        messages_.clear();
        SoundInfo info{};
        info.samplesPerSec = c.rate;
        EXPECT_EQ(plugin::Open(c.path.c_str(), &info), nullptr) << c.what;
        // The format is written before the song is loaded, also when it fails.
        EXPECT_EQ(info.channels, 2u) << c.what;
        ASSERT_EQ(messages_.size(), c.reported ? 1u : 0u) << c.what;
        if (c.reported) {
            EXPECT_EQ(messages_.front(), c.path + "(3) : parse error at \"! f4\"\n") << c.what;
        }
    }

    EXPECT_EQ(plugin::Open(SongPath("duet.mml").c_str(), nullptr), nullptr);
    SoundInfo untouched{};
    EXPECT_EQ(plugin::Open(nullptr, &untouched), nullptr);
    EXPECT_EQ(untouched.channels, 0u);
}

// Every size counts whole; only whole frames are written, also into a buffer
// at an odd address, and nothing before or after them is touched.
TEST_F(EntryPointsTest, RenderWritesWholeFramesOnlyAndCountsEveryByte) {
    const std::vector<uint8_t> reference = RenderWithPlayer(SongPath("duet.mml"), 0, 0, 4096);
    const auto untouched = [](auto first, auto last) {
        return std::all_of(first, last, [](uint8_t b) { return b == kFill; });
    };
    for (uint32_t size : {0u, 1u, 3u, 4096u, 4098u}) {
        for (uint32_t offset : {0u, 1u}) {
            PluginHandle handle = OpenSong(SongPath("duet.mml"), 44100);
            ASSERT_NE(handle, nullptr);
            std::vector<uint8_t> storage(offset + size + 64, kFill);
            uint8_t* buffer = storage.data() + offset;
            EXPECT_EQ(plugin::Render(handle, buffer, size), size) << size << "+" << offset;
            const uint32_t whole = size - size % 4;
            EXPECT_TRUE(
                std::equal(buffer, buffer + std::min<uint32_t>(whole, 4096), reference.begin()))
                << size << "+" << offset;
            EXPECT_TRUE(untouched(storage.begin(), storage.begin() + offset));
            EXPECT_TRUE(untouched(buffer + whole, storage.data() + storage.size()))
                << "bytes written past the last whole frame of " << size << "+" << offset;
            EXPECT_EQ(plugin::Render(handle, nullptr, 4096), 0u);
            plugin::Close(handle);
        }
    }
}

TEST_F(EntryPointsTest, HowAHostCutsItsRequestsDoesNotChangeTheBytes) {
    constexpr uint32_t kBytes = 4 * 44100;
    const std::vector<uint8_t> reference = RenderWithPlayer(SongPath("duet.mml"), 0, 0, kBytes);
    ASSERT_TRUE(std::any_of(reference.begin(), reference.end(), [](uint8_t b) { return b != 0; }));

    // Chunk sizes of a typical host, a prime number of frames, and a buffer
    // that starts at an odd address (filled through the aligned scratch path).
    for (uint32_t chunk : {4096u, 4u * 1009u, 4u * 44100u}) {
        for (size_t offset : {size_t{0}, size_t{1}}) {
            PluginHandle handle = OpenSong(SongPath("duet.mml"));
            ASSERT_NE(handle, nullptr);
            std::vector<uint8_t> storage(kBytes + 1, kFill);
            uint8_t* out = storage.data() + offset;
            for (uint32_t done = 0; done < kBytes;) {
                const uint32_t piece = std::min(chunk, kBytes - done);
                ASSERT_EQ(plugin::Render(handle, out + done, piece), piece);
                done += piece;
            }
            EXPECT_TRUE(std::equal(reference.begin(), reference.end(), out))
                << "chunk " << chunk << ", offset " << offset;
            plugin::Close(handle);
        }
    }
}

// A seek starts the piece again at tick 0 on a reset chip, at the rate of the
// open (the chip keeps some state across a reset, so the bytes after a seek
// need not repeat the first ones; they must be those of the player's seek).
TEST_F(EntryPointsTest, SetPositionRestartsThePieceAtTheOpenedRate) {
    constexpr uint32_t kHalf = 4 * 30000;
    for (uint32_t position : {0u, 90000u, 0xFFFFFFFFu}) {
        PluginHandle handle = OpenSong(SongPath("duet.mml"), 48000);
        ASSERT_NE(handle, nullptr);
        const Player& player = *static_cast<Player*>(handle);
        std::vector<uint8_t> out = RenderBytes(handle, kHalf);
        ASSERT_GT(player.Engine()->Tick(), 0);

        EXPECT_EQ(plugin::SetPosition(handle, position), 0u);
        ASSERT_NE(player.Engine(), nullptr);
        EXPECT_EQ(player.Engine()->Tick(), 0);
        const std::vector<uint8_t> second = RenderBytes(handle, kHalf);
        out.insert(out.end(), second.begin(), second.end());
        EXPECT_EQ(out, RenderWithPlayer(SongPath("duet.mml"), 0, 0, 2 * kHalf, 48000, kHalf))
            << "after SetPosition(" << position << ")";
        plugin::Close(handle);
    }
}

// Two handles at once: renders and a seek on one do not disturb the other.
TEST_F(EntryPointsTest, OpenHandlesPlayIndependently) {
    constexpr uint32_t kPiece = 4 * 2205;
    const std::string song = SongPath("duet.mml");
    PluginHandle a = OpenSong(song);
    PluginHandle b = OpenSong(song);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    ASSERT_NE(a, b);
    std::vector<uint8_t> outA;
    std::vector<uint8_t> outB;
    for (int i = 0; i < 8; ++i) {
        const auto pieceA = RenderBytes(a, kPiece);
        outA.insert(outA.end(), pieceA.begin(), pieceA.end());
        if (i == 4) plugin::SetPosition(b, 0);
        const auto pieceB = RenderBytes(b, kPiece);
        outB.insert(outB.end(), pieceB.begin(), pieceB.end());
    }
    plugin::Close(a);
    plugin::Close(b);
    EXPECT_EQ(outA, RenderWithPlayer(song, 0, 0, 8 * kPiece));
    EXPECT_EQ(outB, RenderWithPlayer(song, 0, 0, 8 * kPiece, 44100, 4 * kPiece));
}

TEST_F(EntryPointsTest, OpenSendsTheFileNameToTheDebugOutput) {
    const std::string path = SongPath("duet.mml");
    ::setenv("VELNARI_DEBUG_OUTPUT", "1", 1);
    ::testing::internal::CaptureStderr();
    PluginHandle handle = OpenSong(path);
    const std::string written = ::testing::internal::GetCapturedStderr();
    ::unsetenv("VELNARI_DEBUG_OUTPUT");
    EXPECT_EQ(written, path);
    plugin::Close(handle);

    ::testing::internal::CaptureStderr();
    plugin::Close(OpenSong(path));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

}  // namespace
