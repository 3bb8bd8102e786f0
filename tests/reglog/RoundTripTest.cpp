// A song exported as a register log and played back gives the song's own
// bytes at 44100 Hz: through the intro, the first loop and the repeats after
// the loop point, for every example song and for songs whose parts loop with
// different lengths after intros of different lengths.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "SongTexts.h"
#include "engine/Engine.h"
#include "mml/Compile.h"
#include "reglog/Export.h"
#include "reglog/Gzip.h"
#include "reglog/LogPlayer.h"
#include "reglog/LogReader.h"
#include "reglog/S98.h"
#include "reglog/Vgm.h"

namespace {

using reglog::ExportReport;

using reglogtest::kVoice;

struct Case {
    const char* name;
    std::string source;  // an example's file name, or the song's text
    bool example;
    ExportReport::Ending ending;
};

std::shared_ptr<const song::Song> CompileCase(const Case& c) {
    Tarsel::CompileResult compiled =
        c.example ? Tarsel::CompileFile(std::string(VELNARI_SOURCE_DIR) + "/examples/" + c.source)
                  : Tarsel::Compile(c.source, "test.mml");
    EXPECT_FALSE(compiled.fault) << compiled.fault->message;
    return compiled.song;
}

// Index of the first frame where the two differ, or -1.
int64_t FirstDifference(engine::Engine& song, reglog::LogPlayer& log, int64_t frames) {
    constexpr int32_t kBlock = 3000;  // not a divisor of any span or tick
    std::vector<int16_t> a(2 * kBlock);
    std::vector<int16_t> b(2 * kBlock);
    for (int64_t done = 0; done < frames; done += kBlock) {
        const auto n = static_cast<int32_t>(std::min<int64_t>(kBlock, frames - done));
        song.Render(a.data(), n);
        log.Render(b.data(), n);
        for (int32_t i = 0; i < 2 * n; ++i) {
            if (a[i] != b[i]) return done + i / 2;
        }
    }
    return -1;
}

class RoundTrip : public testing::TestWithParam<Case> {};

TEST_P(RoundTrip, TheLogPlaysTheSongsBytes) {
    const Case& c = GetParam();
    const auto song = CompileCase(c);
    ASSERT_TRUE(song);
    const reglog::SongExport exported = reglog::ExportSong(song, {});
    ASSERT_EQ(exported.report.ending, c.ending);

    // Through the file format, as a player would get it.
    const std::vector<uint8_t> vgm = reglog::WriteVgm(exported.log);
    const reglog::LogReadResult read = reglog::ReadRegisterLog(vgm.data(), vgm.size());
    ASSERT_TRUE(read.log) << read.fault;
    EXPECT_EQ(read.log->commands, exported.log.commands);
    EXPECT_EQ(read.log->loopStart, exported.log.loopStart);
    // The other containers carry the same commands.
    for (const std::vector<uint8_t>& other :
         {reglog::WriteS98(exported.log), reglog::GzipCompress(vgm)}) {
        const reglog::LogReadResult again = reglog::ReadRegisterLog(other.data(), other.size());
        ASSERT_TRUE(again.log) << again.fault;
        EXPECT_EQ(again.log->commands, exported.log.commands);
        EXPECT_EQ(again.log->loopStart, exported.log.loopStart);
    }

    // The intro, the first loop and ten seconds of its repeat; a log without
    // a loop is played on past its end.
    const int64_t frames = read.log->LoopStartSample() + read.log->LoopSamples() +
                           std::min<int64_t>(read.log->LoopSamples(), 10 * 44100) + 3 * 44100;
    engine::Engine engine(song, 44100);
    reglog::LogPlayer player(std::make_shared<reglog::RegisterLog>(*read.log), 44100);
    EXPECT_EQ(FirstDifference(engine, player, frames), -1)
        << "loop from " << read.log->LoopStartSample() << " for " << read.log->LoopSamples();
}

INSTANTIATE_TEST_SUITE_P(
    Songs, RoundTrip,
    testing::Values(
        Case{"demo", "demo.mml", true, ExportReport::Ending::kLoop},
        Case{"clockwork", "clockwork.mml", true, ExportReport::Ending::kLoop},
        Case{"festival", "festival.mml", true, ExportReport::Ending::kLoop},
        // Loops of 3 and 4 bars after intros of 1 and 2 bars.
        Case{"threeAndFour", reglogtest::kThreeAndFour, false, ExportReport::Ending::kLoop},
        // Every part stops: the log ends where the last one does.
        Case{"stops", kVoice + "1: t200 @1 v12 o4 l8 {2 c d e f g r8\n4: @0 v10 o5 l4 {3 c e r8\n",
             false, ExportReport::Ending::kStops}),
    [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

}  // namespace
