// What the user reads: the info report of a song and the progress line.

#include <gtest/gtest.h>

#include "CliTestSupport.h"
#include "report/Progress.h"
#include "engine/LoopDetector.h"
#include "mml/Compile.h"
#include "report/SongInfo.h"

using engine::LoopReport;
using namespace cli;

namespace {

TEST(SongInfoReport, ListsDefinitionsAndMacrosCalledButNeverDefined) {
    const auto song = Tarsel::Compile(
                          "sound:@9\nlfo:0,0,0,7,0\n"
                          "sound:@-2\nop1:31,0,0,0,0,0,0,1,0,0\n"
                          "ssgenv:@4,2,15,10\nssgenv:@1,2,15\n"
                          "str:outer=$inner$ $ghost$ c\n"
                          "str:inner=d $phantom$\n"
                          "1: $outer$ $ghost$ @5\n"
                          "4: $inner$\n",
                          "defs.mml")
                          .song;
    ASSERT_NE(song, nullptr);
    SongInfo info;
    DescribeDefinitions(*song, info);
    EXPECT_EQ(info.voices, (std::vector<int32_t>{-2, 9}));
    EXPECT_EQ(info.envelopes, (std::vector<int32_t>{1, 4}));
    EXPECT_EQ(info.macros, (std::vector<std::string>{"inner", "outer"}));
    EXPECT_EQ(info.missingMacros, (std::vector<std::string>{"ghost", "phantom"}));
    EXPECT_TRUE(info.parts[0].used);
    EXPECT_FALSE(info.parts[1].used);
    EXPECT_TRUE(info.parts[3].used);
}

TEST(SongInfoReport, LoopLengthsFromTheDetector) {
    LoopReport loops;
    loops.parts[0] = {true, {100, 164, 228}, {}};
    loops.parts[2] = {true, {}, 40};        // stopped before its first pass ended
    loops.parts[3] = {true, {50}, {}};      // second pass not found in time
    loops.parts[4] = {true, {30, 60}, 70};  // stopped in its third pass
    SongInfo info;
    info.rate = 44100;
    info.framesPerTick = 441;  // a hundredth of a second
    DescribeLoops(loops, info);

    EXPECT_EQ(info.parts[0].firstPassTicks, std::optional<int64_t>(100));
    EXPECT_EQ(info.parts[0].loopTicks, std::optional<int64_t>(64));
    EXPECT_FALSE(info.parts[0].stops);
    EXPECT_EQ(info.parts[2].firstPassTicks, std::optional<int64_t>(40));
    EXPECT_FALSE(info.parts[2].loopTicks.has_value());
    EXPECT_TRUE(info.parts[2].stops);
    EXPECT_FALSE(info.parts[3].loopTicks.has_value());
    EXPECT_EQ(info.parts[4].loopTicks, std::optional<int64_t>(30));
    EXPECT_TRUE(info.searchLimited);
    EXPECT_DOUBLE_EQ(info.TicksToSeconds(64), 0.64);

    const auto json = ToJson(info);
    EXPECT_DOUBLE_EQ(json["parts"][0]["loop"]["seconds"].get<double>(), 0.64);
    EXPECT_TRUE(json["parts"][2]["loop"].is_null());
    EXPECT_TRUE(json["parts"][1]["firstPass"].is_null());
    EXPECT_EQ(json["searchLimited"], true);

    const std::string text = FormatText(info);
    EXPECT_NE(
        text.find("part 1 FM 1   used, first pass 100 ticks (1.00 s), loop 64 ticks (0.64 s)"),
        std::string::npos)
        << text;
    EXPECT_NE(text.find("part 3 FM 3   used, stops after 40 ticks (0.40 s)"), std::string::npos)
        << text;
}

TEST(SongInfoReport, NamesInTheJsonAreAlwaysUtf8) {
    const std::pair<std::string, std::string> cases[] = {
        {"demo.mml", "demo.mml"},
        {"\xE6\x9B\xB2.mml", "\xE6\x9B\xB2.mml"},                      // UTF-8 stays
        {"\x8B\xC8.mml", "\xE6\x9B\xB2.mml"},                          // Shift-JIS is decoded
        {"a\xFF\xE6\x9B\xB2\x80.mml", "a\\xFF\xE6\x9B\xB2\\x80.mml"},  // neither: escapes
    };
    for (const auto& [bytes, text] : cases) {
        EXPECT_EQ(TextForJson(bytes), text);
        SongInfo info;
        info.file = bytes;
        info.macros = {bytes};
        EXPECT_NO_THROW(ToJson(info).dump());
    }
}

TEST(ProgressLine, ShowsTimeAndTheLoopBeingPlayed) {
    EXPECT_EQ(FormatDuration(0, 44100), "0:00.0");
    EXPECT_EQ(FormatDuration(44100 * 75 + 22050, 44100), "1:15.5");
    EXPECT_EQ(FormatDuration(48000 * 3600, 48000), "60:00.0");

    // Passes end at 1 s and 2 s; a 1 s fade follows.
    const Progress loops(false, stderr, 1000, 3000, {1000, 2000}, 2, 2000);
    EXPECT_EQ(loops.Line(0), "0:00.0 / 0:03.0  loop 1/2");
    EXPECT_EQ(loops.Line(999), "0:00.9 / 0:03.0  loop 1/2");
    EXPECT_EQ(loops.Line(1000), "0:01.0 / 0:03.0  loop 2/2");
    EXPECT_EQ(loops.Line(2500), "0:02.5 / 0:03.0  fading out");

    const Progress fixed(false, stderr, 1000, 5000, {}, 0, 5000);
    EXPECT_EQ(fixed.Line(4200), "0:04.2 / 0:05.0");
}

}  // namespace
