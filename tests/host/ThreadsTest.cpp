// Many handles on many threads, as hosts use them: a gapless player opens the
// next file on one thread while another renders the current one, and a
// playlist scanner opens and closes file after file. Eight threads each open,
// render and close songs 200 times, and every output must equal what the
// same song gives rendered alone. Run under ThreadSanitizer by the tsan
// preset, which builds this test alone.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "plugin/EntryPoints.h"
#include "plugin/Player.h"

namespace {

constexpr int kThreads = 8;
constexpr int kCycles = 200;
constexpr uint32_t kBytes = 4 * 4410;  // 0.1 s at 44100 Hz

// Half the threads open through the entry points (volumes from the settings
// file, none here: 0 dB), the others hold players with an SSG volume of their
// own, so engines with different SSG levels play side by side.
constexpr engine::Volumes kQuieter{0, -12};

const char* const kSongs[] = {"examples/demo.mml", "examples/clockwork.mml",
                              "examples/festival.mml", "tests/host/data/duet.mml"};
constexpr int kSongCount = sizeof kSongs / sizeof kSongs[0];

std::string SongPath(int song) {
    return std::string(VELNARI_SOURCE_DIR) + "/" + kSongs[song];
}

// Renders in requests of `piece` bytes; the bytes do not depend on it.
std::vector<uint8_t> RenderThroughEntryPoints(const std::string& path, uint32_t piece) {
    SoundInfo info{};
    PluginHandle handle = plugin::Open(path.c_str(), &info);
    if (handle == nullptr) return {};
    std::vector<uint8_t> out(kBytes);
    for (uint32_t done = 0; done < kBytes; done += piece) {
        plugin::Render(handle, out.data() + done, std::min(piece, kBytes - done));
    }
    plugin::Close(handle);
    return out;
}

std::vector<uint8_t> RenderWithPlayer(const std::string& path, uint32_t piece) {
    plugin::Player player(kQuieter);
    SoundInfo info{};
    if (!player.Open(path.c_str(), &info)) return {};
    std::vector<uint8_t> out(kBytes);
    for (uint32_t done = 0; done < kBytes; done += piece) {
        player.Render(out.data() + done, std::min(piece, kBytes - done));
    }
    return out;
}

TEST(ThreadsTest, EightThreadsOpenRenderAndCloseSongsAsEachPlaysAlone) {
    std::vector<uint8_t> alone[2][kSongCount];
    for (int song = 0; song < kSongCount; ++song) {
        alone[0][song] = RenderThroughEntryPoints(SongPath(song), kBytes);
        alone[1][song] = RenderWithPlayer(SongPath(song), kBytes);
        ASSERT_EQ(alone[0][song].size(), kBytes) << kSongs[song];
        ASSERT_NE(alone[0][song], alone[1][song])
            << "the SSG volume must be heard: " << kSongs[song];
    }

    std::atomic<int> wrong{0};
    std::atomic<int> firstWrong{-1};  // thread * kCycles + cycle
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            const uint32_t piece = 4 * (1000 + 37 * t);  // each thread cuts its own requests
            for (int cycle = 0; cycle < kCycles; ++cycle) {
                const int song = (t + cycle) % kSongCount;
                const bool own = t % 2 == 1;
                const std::vector<uint8_t> out =
                    own ? RenderWithPlayer(SongPath(song), piece)
                        : RenderThroughEntryPoints(SongPath(song), piece);
                if (out != alone[own][song]) {
                    ++wrong;
                    int none = -1;
                    firstWrong.compare_exchange_strong(none, t * kCycles + cycle);
                }
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(wrong.load(), 0) << "first: thread " << firstWrong / kCycles << ", cycle "
                               << firstWrong % kCycles;
}

}  // namespace
