// Where an exported log's loop starts and how long it is: the earliest tick
// and the shortest period from which the song's writes repeat, found through
// the whole search limit; and no loop point, with the reason, when the writes
// do not repeat within it.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "SongTexts.h"
#include "engine/Engine.h"
#include "mml/Compile.h"
#include "reglog/Export.h"
#include "reglog/LogPlayer.h"

namespace {

using reglog::ExportReport;
using reglogtest::kVoice;
using Ending = ExportReport::Ending;
using Reason = ExportReport::Reason;

struct Case {
    const char* name;
    std::string song;
    double maxSeconds;
    Ending ending;
    Reason reason;
    int64_t loopStartTick;  // kLoop; for kStops the tick where the last part stops
    int64_t loopTicks;      // kLoop; for kTooLong the ticks after which the loops line up
};

class LoopSearch : public testing::TestWithParam<Case> {};

TEST_P(LoopSearch, FindsTheEarliestShortestRepeatOrSaysWhyNot) {
    const Case& c = GetParam();
    const Tarsel::CompileResult compiled = Tarsel::Compile(c.song, "test.mml");
    ASSERT_TRUE(compiled.song) << compiled.fault->message;
    reglog::ExportSettings settings;
    settings.maxSamples = static_cast<int64_t>(c.maxSeconds * reglog::kLogRate);
    const reglog::SongExport exported = reglog::ExportSong(compiled.song, settings);
    const ExportReport& report = exported.report;
    const reglog::RegisterLog& log = exported.log;
    const int64_t tick = report.framesPerTick;
    EXPECT_EQ(report.ending, c.ending);
    EXPECT_EQ(report.reason, c.reason);
    switch (c.ending) {
        case Ending::kLoop:
            EXPECT_EQ(report.loopStartTick, c.loopStartTick);
            EXPECT_EQ(report.loopTicks, c.loopTicks);
            ASSERT_TRUE(log.loopStart.has_value());
            EXPECT_EQ(log.LoopStartSample(), c.loopStartTick * tick);
            EXPECT_EQ(log.LoopSamples(), c.loopTicks * tick);
            break;
        case Ending::kStops: {
            EXPECT_FALSE(log.loopStart.has_value());
            // The writes end where the last part stops; the waits run on
            // through the release, to the first tick at which the chip is
            // silent, and the song's sound changes no more from there.
            ASSERT_EQ(log.commands.back().kind, reglog::LogCommand::Kind::kWait);
            reglog::RegisterLog writes = log;
            while (writes.commands.back().kind == reglog::LogCommand::Kind::kWait)
                writes.commands.pop_back();
            EXPECT_EQ(writes.TotalSamples(), c.loopStartTick * tick);
            const int64_t end = log.TotalSamples();
            ASSERT_GE(end, (c.loopStartTick + 1) * tick);
            reglog::LogPlayer player(std::make_shared<reglog::RegisterLog>(log), reglog::kLogRate);
            std::vector<int16_t> frames(static_cast<std::size_t>(end + 2 * reglog::kLogRate) * 2);
            player.Render(frames.data(), static_cast<int32_t>(end - tick));
            EXPECT_FALSE(player.Chip().Silent()) << "a tick before the end";
            player.Render(frames.data(), static_cast<int32_t>(tick));
            EXPECT_TRUE(player.Chip().Silent());
            engine::Engine song(compiled.song, reglog::kLogRate);
            song.Render(frames.data(), static_cast<int32_t>(frames.size() / 2));
            EXPECT_TRUE(std::all_of(frames.begin() + 2 * end, frames.end(), [&](int16_t v) {
                return v == frames[2 * end];
            })) << "the sound changes after the end";
            break;
        }
        default:
            EXPECT_FALSE(log.loopStart.has_value());
            EXPECT_EQ(log.TotalSamples(), settings.maxSamples) << "the whole limit, no more";
            EXPECT_EQ(report.lineUpTicks, c.loopTicks);
            EXPECT_FALSE(report.parts.empty()) << "the parts to name in the warning";
            break;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Songs, LoopSearch,
    testing::Values(
        // The loops (192 and 256 ticks) line up every 768 ticks, from where
        // the longer intro ends.
        Case{"threeAndFour", reglogtest::kThreeAndFour, 600, Ending::kLoop, Reason::kNone, 128,
             768},
        // The part's loop is 64 ticks, but its writes repeat every 16.
        Case{"repeatsWithinTheLoop", kVoice + "1: t150 @1 v12 o4 l4 r2 { c c c c }\n", 600,
             Ending::kLoop, Reason::kNone, 32, 16},
        // A vibrato running on across tied notes (half-period 31 ticks) comes
        // round with the 64-tick loop only after 31 loops.
        Case{"slowVibrato", kVoice + "1: t150 @1 v12 o4 i12,31,0 { c1& }\n", 600, Ending::kLoop,
             Reason::kNone, 1, 1984},
        // ... which a limit of 60 s does not reach: the writes never repeat.
        Case{"slowVibratoCut", kVoice + "1: t150 @1 v12 o4 i12,31,0 { c1& }\n", 60, Ending::kLimit,
             Reason::kNoRepeat, 0, 0},
        // Loops of 21 and 73 ticks line up after 1533 ticks, beyond 20 s.
        Case{"loopsDoNotLineUp", kVoice + "1: t255 @1 v12 o4 { c3 }\n4: @0 v11 o5 { c1 c7 }\n", 20,
             Ending::kLimit, Reason::kTooLong, 0, 1533},
        // A ramp far longer than the loop: the tempo differs where every pass begins.
        Case{"tempoDrifts", kVoice + "1: @1 v12 o4 !t60,100000 { c4 }\n", 30, Ending::kLimit,
             Reason::kTempoDrifts, 0, 0},
        // Every part stops at tick 120, where the last rest ends; the log
        // runs on through the release.
        Case{"stops", kVoice + "1: t200 @1 v12 o4 l8 {2 c d e f g r8\n4: @0 v10 o5 l4 {3 c e r8\n",
             600, Ending::kStops, Reason::kNone, 120, 0}),
    [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

}  // namespace
