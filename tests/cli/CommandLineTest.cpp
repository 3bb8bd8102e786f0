// Option parsing: which command lines are usage errors, and what the
// accepted ones ask for.

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "commands/Commands.h"
#include "options/CommandLine.h"

using namespace cli;

namespace {

ParseOutcome Parse(const std::string& line) {
    std::vector<std::string> args{"velnari"};
    std::istringstream words(line);
    for (std::string word; words >> word;) args.push_back(word);
    return ParseCommandLine(args);
}

class CommandLineUsage : public testing::TestWithParam<const char*> {};

TEST_P(CommandLineUsage, IsRejectedWithStatus2AndAMessage) {
    const ParseOutcome outcome = Parse(GetParam());
    EXPECT_FALSE(outcome.invocation.has_value());
    EXPECT_EQ(outcome.exitStatus, 2);
    EXPECT_FALSE(outcome.standardError.empty());
    EXPECT_TRUE(outcome.standardOutput.empty());
}

INSTANTIATE_TEST_SUITE_P(
    BadLines, CommandLineUsage,
    testing::Values("", "dance a.mml", "render", "render a.mml b.mml", "render a.mml --loops 0",
                    "render a.mml --loops two", "render a.mml --loops 2 --seconds 3",
                    "render a.mml --seconds -1", "render a.mml --fade -0.5",
                    "render a.mml --rate 0", "render a.mml --mute 1 --solo 2",
                    "render a.mml --mute 7", "render a.mml --solo 1,,2", "render a.mml --solo 12",
                    "render a.mml --fm-volume 21", "render a.mml --ssg-volume -193",
                    "render a.mml --stems -o -", "play", "check", "info a.mml --loops 2",
                    "render a.mml --seconds nan", "render a.mml --seconds 2 --fade nan",
                    "render a.mml --max-seconds inf", "play a.mml --seconds -inf",
                    "info a.mml --max-seconds nan", "render a.mml --start 1:60",
                    "render a.mml --start -3", "render a.mml --start 1e3",
                    "play a.mml --start 2 --start-tick 9", "play a.mml --start-tick -1",
                    "render a.mml --start 24:00:00"));

// Whole numbers are read in base 10 whatever their leading zeros, and text
// that is no whole number is called that, not out of range.
TEST(CommandLine, IntegersAreWholeNumbersInBase10) {
    const ParseOutcome zeros = Parse("play a.mml --loops 010 --start-tick 010 --fm-volume -08");
    ASSERT_TRUE(zeros.invocation.has_value()) << zeros.standardError;
    const MixOptions& mix = std::get<PlayOptions>(*zeros.invocation).mix;
    EXPECT_EQ(mix.loops, 10);
    EXPECT_EQ(mix.startTick, std::optional<int64_t>(10));
    EXPECT_EQ(mix.fmVolume, std::optional<int32_t>(-8));
    for (const auto& [line, error] :
         {std::pair{"render a.mml --loops 1e3", "--loops: '1e3' is not a whole number"},
          std::pair{"info a.mml --rate abc", "--rate: 'abc' is not a whole number"},
          std::pair{"play a.mml --start-tick 0x10", "--start-tick: '0x10' is not a whole number"},
          std::pair{"render a.mml --loops 1001", "--loops: Value 1001 not in range 1 to 1000"}}) {
        EXPECT_TRUE(Parse(line).standardError.starts_with(error))
            << line << ": " << Parse(line).standardError;
    }
}

TEST(CommandLine, ArgumentsLeftOverAreNamedInTheOrderGiven) {
    EXPECT_NE(Parse("info a.mml b c d").standardError.find("unexpected arguments: b c d"),
              std::string::npos);
}

TEST(CommandLine, HelpAndVersionGoToStandardOutputWithStatus0) {
    for (const auto& [line, expected] : {std::pair{"render --help", "--stems"},
                                         std::pair{"--version", "velnari " VELNARI_VERSION "\n"}}) {
        const ParseOutcome outcome = Parse(line);
        EXPECT_EQ(outcome.exitStatus, 0) << line;
        EXPECT_FALSE(outcome.invocation.has_value()) << line;
        EXPECT_NE(outcome.standardOutput.find(expected), std::string::npos) << line;
        EXPECT_TRUE(outcome.standardError.empty()) << line;
    }
}

TEST(CommandLine, AnUnknownCommandIsNamed) {
    EXPECT_EQ(Parse("bogus a.mml").standardError,
              "velnari: unknown command 'bogus'; the commands are render, play, check, info, "
              "voices (velnari --help)\n");
}

TEST(CommandLine, GivenValuesReachTheOptions) {
    const ParseOutcome given = Parse(
        "render song.mml -o x.flac --rate 48000 --seconds 2.5 --fm-volume -6 --stems "
        "--start 1:15.5");
    ASSERT_TRUE(given.invocation.has_value());
    const auto& r = std::get<RenderOptions>(*given.invocation);
    EXPECT_EQ(r.output, "x.flac");
    EXPECT_EQ(r.mix.rate, 48000u);
    EXPECT_DOUBLE_EQ(r.mix.seconds.value_or(0), 2.5);
    EXPECT_FALSE(r.mix.fadeSeconds.has_value()) << "no fade with --seconds unless asked";
    EXPECT_EQ(r.mix.fmVolume, std::optional<int32_t>(-6));
    EXPECT_FALSE(r.mix.ssgVolume.has_value()) << "the settings file decides";
    EXPECT_TRUE(r.stems);
    EXPECT_DOUBLE_EQ(r.mix.startSeconds.value_or(0), 75.5);
}

TEST(CommandLine, MuteAndSoloBecomeChipMasks) {
    // FM parts 1-3 are chip bits 0-2, SSG parts 4-6 chip bits 6-8.
    struct Case {
        const char* option;
        const char* parts;
        uint32_t mask;
    };
    for (const Case& c :
         {Case{"--mute", "1", 0x001}, Case{"--mute", "4", 0x040}, Case{"--mute", "3,6", 0x104},
          Case{"--mute", " 1, 4 ,4", 0x041}, Case{"--solo", "2", 0x1C5},
          Case{"--solo", "1,2,3,4,5,6", 0}, Case{"--mute", "1,2,3,4,5,6", 0x1C7}}) {
        const ParseOutcome outcome =
            ParseCommandLine({"velnari", "play", "a.mml", c.option, c.parts});
        ASSERT_TRUE(outcome.invocation.has_value()) << c.option << c.parts;
        EXPECT_EQ(std::get<PlayOptions>(*outcome.invocation).mix.chipMask, c.mask) << c.parts;
    }
}

TEST(CommandLine, OutputNames) {
    EXPECT_EQ(DefaultOutputPath("songs/waltz.mml"), "waltz.wav");
    EXPECT_EQ(DefaultOutputPath("waltz.tarsel"), "waltz.wav");
    EXPECT_EQ(StemPath("out/mix.flac", 3), "out/mix-3.flac");
}

}  // namespace
