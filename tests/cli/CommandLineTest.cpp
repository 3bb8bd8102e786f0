// Option parsing: which command lines run, which are usage errors, and what
// the accepted ones ask for.

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "CommandLine.h"
#include "Commands.h"
#include "PartSelection.h"

namespace {

std::vector<std::string> Split(const std::string& line) {
    std::vector<std::string> args{"velnari"};
    std::istringstream words(line);
    for (std::string word; words >> word;) args.push_back(word);
    return args;
}

ParseOutcome Parse(const std::string& line) {
    return ParseCommandLine(Split(line));
}

struct UsageCase {
    const char* line;
    const char* why;
};

class CommandLineUsage : public testing::TestWithParam<UsageCase> {};

TEST_P(CommandLineUsage, IsRejectedWithStatus2AndAMessage) {
    const ParseOutcome outcome = Parse(GetParam().line);
    EXPECT_FALSE(outcome.invocation.has_value()) << GetParam().why;
    EXPECT_EQ(outcome.exitStatus, 2) << GetParam().why;
    EXPECT_FALSE(outcome.standardError.empty()) << GetParam().why;
    EXPECT_TRUE(outcome.standardOutput.empty()) << GetParam().why;
}

INSTANTIATE_TEST_SUITE_P(
    BadLines, CommandLineUsage,
    testing::Values(UsageCase{"", "no command"}, UsageCase{"dance a.mml", "unknown command"},
                    UsageCase{"render", "song missing"},
                    UsageCase{"render a.mml --loops 0", "no passes"},
                    UsageCase{"render a.mml --loops two", "not a number"},
                    UsageCase{"render a.mml --loops 2 --seconds 3", "loops and seconds"},
                    UsageCase{"render a.mml --seconds -1", "negative length"},
                    UsageCase{"render a.mml --fade -0.5", "negative fade"},
                    UsageCase{"render a.mml --rate 0", "rate 0"},
                    UsageCase{"render a.mml --rate 1000000", "rate too high"},
                    UsageCase{"render a.mml --mute 1 --solo 2", "mute and solo"},
                    UsageCase{"render a.mml --mute 7", "no part 7"},
                    UsageCase{"render a.mml --mute 0", "no part 0"},
                    UsageCase{"render a.mml --solo 1,,2", "empty list entry"},
                    UsageCase{"render a.mml --solo 12", "two digits"},
                    UsageCase{"render a.mml --fm-volume 21", "FM volume above +20"},
                    UsageCase{"render a.mml --ssg-volume -193", "SSG volume below -192"},
                    UsageCase{"render a.mml --stems -o -", "stems to standard output"},
                    UsageCase{"render a.mml --max-seconds 0", "no length at all"},
                    UsageCase{"play", "song missing"}, UsageCase{"check", "no songs"},
                    UsageCase{"info a.mml --loops 2", "info has no loops option"},
                    UsageCase{"render a.mml b.mml", "two songs"}));

TEST(CommandLine, HelpGoesToStandardOutputWithStatus0) {
    for (const char* line :
         {"--help", "render --help", "play --help", "check --help", "info --help"}) {
        const ParseOutcome outcome = Parse(line);
        EXPECT_FALSE(outcome.invocation.has_value()) << line;
        EXPECT_EQ(outcome.exitStatus, 0) << line;
        EXPECT_FALSE(outcome.standardOutput.empty()) << line;
        EXPECT_TRUE(outcome.standardError.empty()) << line;
    }
    EXPECT_NE(Parse("render --help").standardOutput.find("--stems"), std::string::npos);
    EXPECT_NE(Parse("info --help").standardOutput.find("--json"), std::string::npos);
}

TEST(CommandLine, RenderDefaultsAndGivenValues) {
    const ParseOutcome defaults = Parse("render song.mml");
    ASSERT_TRUE(defaults.invocation.has_value());
    const auto& plain = std::get<RenderOptions>(*defaults.invocation);
    EXPECT_EQ(plain.song, "song.mml");
    EXPECT_EQ(plain.output, "");
    EXPECT_EQ(plain.mix.rate, 44100u);
    EXPECT_EQ(plain.mix.loops, 2);
    EXPECT_FALSE(plain.mix.seconds.has_value());
    EXPECT_FALSE(plain.mix.fadeSeconds.has_value());
    EXPECT_FALSE(plain.mix.fmVolume.has_value());
    EXPECT_EQ(plain.mix.chipMask, 0u);
    EXPECT_FALSE(plain.stems);

    const ParseOutcome given = Parse(
        "render song.mml -o x.flac --rate 48000 --seconds 2.5 --fade 1 --fm-volume -6 "
        "--stems --max-seconds 30");
    ASSERT_TRUE(given.invocation.has_value());
    const auto& r = std::get<RenderOptions>(*given.invocation);
    EXPECT_EQ(r.output, "x.flac");
    EXPECT_EQ(r.mix.rate, 48000u);
    EXPECT_DOUBLE_EQ(r.mix.seconds.value_or(0), 2.5);
    EXPECT_DOUBLE_EQ(r.mix.fadeSeconds.value_or(0), 1.0);
    EXPECT_EQ(r.mix.fmVolume.value_or(0), -6);
    EXPECT_FALSE(r.mix.ssgVolume.has_value());
    EXPECT_DOUBLE_EQ(r.mix.maxSeconds, 30.0);
    EXPECT_TRUE(r.stems);
}

TEST(CommandLine, MuteAndSoloBecomeChipMasks) {
    // FM parts 1-3 are chip bits 0-2, SSG parts 4-6 chip bits 6-8.
    auto mask = [](const std::string& line) {
        const ParseOutcome outcome = Parse(line);
        return outcome.invocation ? std::get<RenderOptions>(*outcome.invocation).mix.chipMask
                                  : 0xFFFFFFFFu;
    };
    EXPECT_EQ(mask("render a.mml --mute 1"), 0x001u);
    EXPECT_EQ(mask("render a.mml --mute 4"), 0x040u);
    EXPECT_EQ(mask("render a.mml --mute 3,6"), 0x104u);
    EXPECT_EQ(mask("render a.mml --solo 2"), 0x1C5u);
    EXPECT_EQ(mask("render a.mml --solo 1,2,3,4,5,6"), 0u);
    EXPECT_EQ(mask("render a.mml --mute 1,2,3,4,5,6"), 0x1C7u);

    const ParseOutcome play = Parse("play a.mml --solo 5");
    ASSERT_TRUE(play.invocation.has_value());
    EXPECT_EQ(std::get<PlayOptions>(*play.invocation).mix.chipMask, 0x147u);
}

TEST(CommandLine, PartListsAcceptBlanksAndRepeats) {
    EXPECT_EQ(PartSelection::Parse("1, 4 ,4"), 0x09u);
    EXPECT_EQ(PartSelection::Parse(" 6"), 0x20u);
}

TEST(CommandLine, CheckAndInfo) {
    const ParseOutcome check = Parse("check a.mml b.mml c.mml");
    ASSERT_TRUE(check.invocation.has_value());
    EXPECT_EQ(std::get<CheckOptions>(*check.invocation).songs.size(), 3u);

    const ParseOutcome info = Parse("info a.mml --json --rate 22050");
    ASSERT_TRUE(info.invocation.has_value());
    const auto& i = std::get<InfoOptions>(*info.invocation);
    EXPECT_TRUE(i.json);
    EXPECT_EQ(i.rate, 22050u);
}

TEST(CommandLine, OutputNames) {
    EXPECT_EQ(DefaultOutputPath("songs/waltz.mml"), "waltz.wav");
    EXPECT_EQ(DefaultOutputPath("waltz.tarsel"), "waltz.wav");
    EXPECT_EQ(StemPath("out/mix.flac", 3), "out/mix-3.flac");
    EXPECT_EQ(StemPath("mix.wav", 6), "mix-6.wav");
}

}  // namespace
