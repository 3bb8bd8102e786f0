// Songs that change their tempo: where a tick starts is the sum of the
// lengths of the ticks before it, each as long as its own tempo makes it;
// every way into the piece (a start at a tick or a time, the plug-in's exact
// seek, a register log played back) lands on the bytes of a render from the
// beginning.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/Engine.h"
#include "mml/Compile.h"
#include "playback/FrameSource.h"
#include "playback/Position.h"
#include "playback/RangeLoop.h"
#include "playback/StartPosition.h"
#include "playback/TickMap.h"
#include "plugin/Player.h"
#include "reglog/Export.h"
#include "reglog/LogPlayer.h"
#include "support/ScratchFolder.h"

namespace {

constexpr uint32_t kRate = 44100;

// Frames of one tick at `tempo`.
int64_t L(int32_t tempo) {
    return engine::Engine::TickLength(tempo, kRate);
}

template <typename Source>
std::vector<int16_t> Render(Source& source, int64_t frames) {
    std::vector<int16_t> out(static_cast<std::size_t>(frames) * 2);
    source.Render(out.data(), static_cast<int32_t>(frames));
    return out;
}

struct Case {
    const char* name;
    std::string text;
    int64_t tick;   // a tick inside the changes (on a bar line: the end of --bars) ...
    int64_t frame;  // ... and where it starts, summed by hand
};

TEST(Tempo, EveryWayIntoThePieceFindsTheTicksWhereTheTempoPutsThem) {
    const std::string ssg = "4: @0 v12 o4 l8 ";
    const Case cases[] = {
        // Tick 64 at 120, then 64 at 90.
        {"at a bar line", ssg + "cdef gab>c !t90 c1", 128, 64 * L(120) + 64 * L(90)},
        // Part 4 changes it 8 ticks into part 5's note.
        {"inside a note", "5: @0 v12 o5 c1\n" + ssg + "r16 r16 !t90 c2", 40,
         8 * L(120) + 32 * L(90)},
        // 120 to 100 over 3 ticks: 120, 114 (120 - 20/3, toward zero), 107, 100.
        {"a ramp", ssg + "!t100,3 c1", 5, L(120) + L(114) + L(107) + 2 * L(100)},
        // Both in tick 16: part 5 has the last word.
        {"two parts in one tick", ssg + "r4 !t200 c1\n5: @0 v12 o5 r4 !t80 c1", 32,
         16 * L(120) + 16 * L(80)},
        // 150 and 100 by turns, every 16 ticks.
        {"inside a loop", ssg + "{2 c4 !t150 c4 !t100 } c1", 64,
         16 * L(120) + 16 * L(150) + 16 * L(100) + 16 * L(150)},
        // A ramp of 8 ticks from tick 16: 120 - 60k/8 toward zero.
        {"in a macro", "str:slow=!t60,8\n" + ssg + "c4 $slow$ c4 c2", 30,
         17 * L(120) + L(113) + L(105) + L(98) + L(90) + L(83) + L(75) + L(68) + 6 * L(60)},
    };
    testsupport::ScratchFolder folder("velnari-tempo");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto compiled = Tarsel::Compile(c.text, "tempo.mml");
        ASSERT_TRUE(compiled.song);
        const auto& song = compiled.song;
        const int64_t frames = c.frame + 2 * kRate;
        const playback::TickMap ticks = playback::TickMap::OfSong(song, kRate, frames);
        EXPECT_EQ(ticks.FrameOfTick(c.tick), c.frame);
        EXPECT_EQ(ticks.TickOfFrame(c.frame - 1), c.tick - 1);

        engine::Engine whole(song, kRate);
        const std::vector<int16_t> full = Render(whole, frames);
        ASSERT_TRUE(std::any_of(full.begin(), full.end(), [](int16_t s) { return s != 0; }));

        // --start-tick and --start: the tail of the whole render.
        const double seconds = static_cast<double>(c.frame) / kRate + 0.3;
        for (const playback::Start start :
             {playback::Start{{}, c.tick}, playback::Start{seconds, {}}}) {
            const int64_t first = playback::StartFrame(start, kRate, ticks, frames);
            engine::Engine part(song, kRate);
            ASSERT_TRUE(playback::Seek(part, first));
            EXPECT_TRUE(std::equal(full.begin() + 2 * first, full.end(),
                                   Render(part, frames - first).begin()))
                << "from frame " << first;
        }

        // --bars up to that bar line: the same bytes, pass after pass.
        if (c.tick % playback::kTicksPerBar == 0) {
            const int64_t last = c.tick / playback::kTicksPerBar;
            const playback::FrameRange bars = playback::FramesOfBars(song, kRate, last, last);
            EXPECT_EQ(bars.end, c.frame);
            ASSERT_LT(bars.first, bars.end);
            playback::RangeLoop loop(song, kRate, engine::Volumes{}, 0, bars.first, bars.end);
            const std::vector<int16_t> pass(full.begin() + 2 * bars.first,
                                            full.begin() + 2 * bars.end);
            for (int k = 0; k < 2; ++k) {
                std::vector<int16_t> out(pass.size());
                loop.Fill(out.data(), static_cast<int32_t>(out.size() / 2));
                EXPECT_EQ(out, pass) << "pass " << k + 1;
            }
        }

        // The plug-in's exact seek, to just before the tick: a fresh open's bytes.
        const std::string path = folder.Write("tempo.mml", c.text);
        plugin::Player fresh(engine::Volumes{});
        plugin::Player seeking(engine::Volumes{}, true);
        SoundInfo info{kRate, 0, 0, 0, 0, 0, 0, 0};
        ASSERT_TRUE(fresh.Open(path.c_str(), &info));
        ASSERT_TRUE(seeking.Open(path.c_str(), &info));
        const auto ms = static_cast<uint32_t>(c.frame * 1000 / kRate);
        std::vector<uint8_t> reference(4 * static_cast<std::size_t>(frames));
        fresh.Render(reference.data(), static_cast<uint32_t>(reference.size()));
        std::vector<uint8_t> out(4 * kRate);
        EXPECT_EQ(seeking.Seek(ms), ms);
        seeking.Render(out.data(), static_cast<uint32_t>(out.size()));
        const auto at = playback::FrameOfMilliseconds(ms, kRate);
        EXPECT_TRUE(std::equal(out.begin(), out.end(), reference.begin() + 4 * at));

        // The register log plays the song's bytes, its loop included.
        const reglog::SongExport exported = reglog::ExportSong(song, {});
        const auto log = std::make_shared<reglog::RegisterLog>(exported.log);
        const int64_t logFrames = log->TotalSamples() + log->LoopSamples();
        reglog::LogPlayer player(log, kRate);
        engine::Engine again(song, kRate);
        EXPECT_EQ(exported.report.ending, reglog::ExportReport::Ending::kLoop);
        EXPECT_EQ(Render(player, logFrames), Render(again, logFrames));
    }
}

// "!tN" at the first tick is "tN": the same bytes; the compile notes the use
// of the extension where it is written, in either case.
TEST(Tempo, AChangeAtTheFirstTickIsTheSongsTempo) {
    const std::string text = "4: @0 v12 o4 l8 !T150 cdefgab";
    const auto a = Tarsel::Compile(text, "a.mml");
    const auto b = Tarsel::Compile("4: t150 @0 v12 o4 l8 cdefgab", "b.mml").song;
    ASSERT_TRUE(a.song && b);
    engine::Engine ea(a.song, kRate), eb(b, kRate);
    EXPECT_EQ(Render(ea, 3 * kRate), Render(eb, 3 * kRate));
    ASSERT_EQ(a.extensions.size(), 1u);
    EXPECT_EQ(a.extensions[0].kind, Tarsel::Extension::kTempoChange);
    EXPECT_EQ(text.substr(a.extensions[0].offset, a.extensions[0].length), "!T150");
}

}  // namespace
