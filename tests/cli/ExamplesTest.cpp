// The example songs compile, loop, and sound: every used part is audible on
// its own, and the full render with the default loops and fade neither
// clips nor falls silent.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/Engine.h"
#include "engine/LoopDetector.h"
#include "mml/Compile.h"
#include "options/PartSelection.h"
#include "playback/RenderPlan.h"
#include "playback/Renderer.h"
#include "song/Song.h"

using engine::Engine;
using engine::LoopDetector;
using engine::LoopReport;
using song::Song;
using namespace cli;
using namespace playback;

namespace {

struct Loudness {
    int peak = 0;
    int64_t clipped = 0;  // samples at either end of the 16-bit range
    double rms = 0.0;
};

Loudness Measure(Engine& engine, const RenderPlan& plan) {
    EngineFrames frames(engine);
    Renderer renderer(frames, plan);
    std::vector<int16_t> block(4096 * 2);
    Loudness loudness;
    double sum = 0.0;
    int64_t samples = 0;
    while (!renderer.Finished()) {
        const int32_t n = renderer.Fill(block.data(), 4096);
        for (int32_t i = 0; i < 2 * n; ++i) {
            const int s = block[i];
            loudness.peak = std::max(loudness.peak, std::abs(s));
            if (s == 32767 || s == -32768) ++loudness.clipped;
            sum += static_cast<double>(s) * s;
        }
        samples += 2 * n;
    }
    loudness.rms = samples == 0 ? 0.0 : std::sqrt(sum / samples);
    return loudness;
}

std::shared_ptr<const Song> CompileExample(const std::string& name) {
    const Tarsel::FileCompileResult compiled =
        Tarsel::CompileFile(std::string(VELNARI_SOURCE_DIR) + "/examples/" + name);
    EXPECT_FALSE(compiled.fault) << compiled.fault->message;
    return compiled.song;
}

class ExampleSong : public testing::TestWithParam<const char*> {};

TEST_P(ExampleSong, CompilesLoopsAndSoundsWithoutClipping) {
    const std::shared_ptr<const Song> song = CompileExample(GetParam());
    ASSERT_TRUE(song);
    Engine ahead(song, 44100);
    const int64_t perTick = ahead.FramesPerTick();
    const LoopReport loops = LoopDetector::Run(ahead, 2, 600 * 44100 / perTick);
    ASSERT_TRUE(loops.endTick.has_value()) << "two passes within ten minutes";
    Engine engine(song, 44100);

    const RenderPlan plan =
        RenderPlan::AfterLoops(*loops.endTick * perTick, 5 * 44100, 600 * 44100);
    EXPECT_GT(plan.totalFrames, 30 * 44100) << "a piece, not a jingle";
    const Loudness mix = Measure(engine, plan);
    EXPECT_EQ(mix.clipped, 0);
    EXPECT_LT(mix.peak, 30000);
    EXPECT_GT(mix.rms, 2000.0) << "about -24 dBFS or louder";

    // Each used part alone, over the first pass.
    for (int part = 0; part < song::kPartCount; ++part) {
        if (!song->IsPartUsed(part)) continue;
        const PartSelection::PartBits only = PartSelection::PartBits{1} << part;
        Engine solo(song, 44100, {},
                    PartSelection::ChipMaskMuting(PartSelection::kAllParts & ~only));
        const int64_t firstPass = loops.songPassEnds.empty() ? 0 : loops.songPassEnds[0];
        const Loudness alone = Measure(solo, RenderPlan::Fixed(firstPass * perTick, 0));
        EXPECT_GT(alone.rms, 150.0) << "part " << part + 1 << " is (nearly) silent";
    }
}

// Golden pins: a hash (64-bit FNV-1a over the little-endian bytes) of the first
// ten seconds of each example at 44100 Hz. A change in what the compiler, the
// sequencer or the chip produce shows up here; if it is intended, render the
// song again (velnari render SONG -o - --seconds 10), listen, and update.
TEST(ExampleGolden, FirstTenSecondsAreUnchanged) {
    struct Pin {
        const char* song;
        uint64_t hash;
    };
    for (const Pin& pin :
         {Pin{"demo.mml", 0xe9841721bcfb7a8dull}, Pin{"festival.mml", 0x4e9e590dcb275269ull},
          Pin{"clockwork.mml", 0x03aed8c08609a4c1ull},
          Pin{"percussion.mml", 0xa4d5dfbd1ccac59dull}}) {
        Engine engine(CompileExample(pin.song), 44100);
        std::vector<int16_t> frames(441000 * 2);
        engine.Render(frames.data(), 441000);
        uint64_t hash = 0xcbf29ce484222325ull;
        for (int16_t sample : frames) {
            const auto bits = static_cast<uint16_t>(sample);
            for (uint8_t byte :
                 {static_cast<uint8_t>(bits & 0xFF), static_cast<uint8_t>(bits >> 8)}) {
                hash = (hash ^ byte) * 0x100000001b3ull;
            }
        }
        EXPECT_EQ(hash, pin.hash) << pin.song;
    }
}

INSTANTIATE_TEST_SUITE_P(Examples, ExampleSong,
                         testing::Values("demo.mml", "festival.mml", "clockwork.mml",
                                         "percussion.mml"),
                         [](const testing::TestParamInfo<const char*>& info) {
                             return std::filesystem::path(info.param).stem().string();
                         });

}  // namespace
