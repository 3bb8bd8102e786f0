// What a compiled file holds: commands, lengths, tempo, macros, voices and
// envelopes, and the faults that stop a compile.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "MmlTestSupport.h"
#include "fm/OPN.h"
#include "mml/Compile.h"
#include "sequencer/Sequencer.h"

using song::Command;
using song::CommandList;
using song::FMOperatorBlock;
using song::FMVoice;
using song::Song;
using song::SSGEnvelope;
using Tarsel::CompileContext;

namespace {

using mmltest::CompileText;
using Commands = std::vector<Command>;

// A part's commands without the "{" ... "}" frame every used part gets.
Commands Inside(const Song& song, int part) {
    const CommandList& list = song.Part(part);
    if (list.size() < 2) return {};
    return Commands(std::next(list.begin()), std::prev(list.end()));
}

Commands CompilePart(const std::string& commands) {
    mmltest::Compiled compiled = CompileText("1:" + commands + "\n");
    EXPECT_TRUE(compiled.song) << commands;
    EXPECT_TRUE(compiled.messages.empty()) << commands;
    if (!compiled.song) return {};
    return Inside(*compiled.song, 0);
}

TEST(PartCommands, AFirstCommandFramesThePart) {
    const mmltest::Compiled compiled = CompileText("1:c");
    ASSERT_TRUE(compiled.song);
    EXPECT_EQ(compiled.song->Part(0),
              (CommandList{Command('{'), Command('#', 0, 0, 0), Command('}')}));
    for (int p = 1; p < song::kPartCount; ++p) EXPECT_FALSE(compiled.song->IsPartUsed(p));
}

TEST(PartCommands, LinesOfOnePartJoinInFileOrder) {
    const mmltest::Compiled compiled = CompileText("1:c\n4:v10\n1:d\n6:r\n");
    ASSERT_TRUE(compiled.song);
    EXPECT_EQ(Inside(*compiled.song, 0), (Commands{Command('#', 0), Command('#', 2)}));
    EXPECT_EQ(Inside(*compiled.song, 3), (Commands{Command('V', 10)}));
    EXPECT_EQ(Inside(*compiled.song, 5), (Commands{Command('R', 0)}));
    EXPECT_FALSE(compiled.song->IsPartUsed(1));
}

struct NoteCase {
    std::string source;
    int32_t semitone;
    int32_t ticks;
};

class Notes : public ::testing::TestWithParam<NoteCase> {};

TEST_P(Notes, CompileToSemitoneAndTicks) {
    EXPECT_EQ(CompilePart(GetParam().source),
              (Commands{Command('#', GetParam().semitone, GetParam().ticks, 0)}));
}

INSTANTIATE_TEST_SUITE_P(
    SemitonesAndLengths, Notes,
    ::testing::Values(NoteCase{"c", 0, 0}, NoteCase{"C+4", 1, 16}, NoteCase{"b+", 12, 0},
                      NoteCase{"c-", -1, 0}, NoteCase{"a", 9, 0}, NoteCase{"F-", 4, 0},
                      NoteCase{"g", 7, 0}, NoteCase{"d--4", 1, 64}, NoteCase{"e+-2", 5, 64},
                      NoteCase{"c3", 0, 21}, NoteCase{"c4.", 0, 24}, NoteCase{"c3.", 0, 31},
                      NoteCase{"c6", 0, 10}, NoteCase{"c48", 0, 1}, NoteCase{"c64", 0, 1},
                      NoteCase{"c64.", 0, 1}, NoteCase{"c1.", 0, 96}, NoteCase{"c0", 0, 64},
                      NoteCase{"c65", 0, 64}, NoteCase{"c65.", 0, 64},
                      NoteCase{"c2147483647", 0, 64}));

struct ControlCase {
    std::string source;
    Commands expected;  // empty: compiles to nothing
};

class Controls : public ::testing::TestWithParam<ControlCase> {};

TEST_P(Controls, FollowTheArgumentCountsOfTheirRow) {
    EXPECT_EQ(CompilePart(GetParam().source), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    ControlTable, Controls,
    ::testing::Values(
        ControlCase{"r", {Command('R', 0)}}, ControlCase{"r4", {Command('R', 16)}},
        ControlCase{"w8.", {Command('W', 12)}}, ControlCase{"l8.", {Command('L', 12)}},
        ControlCase{"l", {}}, ControlCase{"l8 16", {}}, ControlCase{"V12", {Command('V', 12)}},
        ControlCase{"V12,3", {}}, ControlCase{"V4.", {Command('V', 0)}},
        ControlCase{"o-1", {Command('O', -1)}}, ControlCase{"@ 12", {Command('@', 12)}},
        ControlCase{"@", {}},
        ControlCase{
            "q7n2p3s4m5",
            {Command('Q', 7), Command('N', 2), Command('P', 3), Command('S', 4), Command('M', 5)}},
        ControlCase{"u1", {Command('U', 1, 0, 0)}}, ControlCase{"i1,2,3", {Command('I', 1, 2, 3)}},
        ControlCase{"u1,2,3,4", {}}, ControlCase{"y1,2", {Command('Y', 1, 2, 0)}},
        ControlCase{"y1", {}}, ControlCase{"&", {Command('&')}}, ControlCase{"&4", {}},
        ControlCase{"<>", {Command('<'), Command('>')}}, ControlCase{"<2", {}},
        ControlCase{"{", {Command('{', 0)}}, ControlCase{"{3", {Command('{', 3)}},
        ControlCase{"}", {Command('}')}}, ControlCase{"}2", {}}, ControlCase{"h3 j k x z", {}},
        ControlCase{"$intro$", {Command('$', "intro")}},
        ControlCase{"!P2 !w 9 p1", {Command('p', 2), Command('w', 9), Command('P', 1)}},
        ControlCase{"!p !w1,2", {}}));

TEST(Extensions, EveryUseIsNotedWithItsWholeText) {
    const std::string text = "1: c\nstr:kit = !P2 v9\n4: !w 17 $kit$ !p\n";
    const Tarsel::CompileResult compiled = Tarsel::Compile(text, "song");
    ASSERT_TRUE(compiled.song);
    std::vector<std::string> uses;
    for (const Tarsel::ExtensionUse& use : compiled.extensions) {
        uses.push_back(std::string(Tarsel::ExtensionName(use.kind)) + " " +
                       text.substr(use.offset, use.length));
    }
    EXPECT_EQ(uses, (std::vector<std::string>{"!p !P2", "!w !w 17", "!p !p"}));
}

TEST(Tempo, IsStoredOnTheSongAndTheLastOneWins) {
    const mmltest::Compiled compiled = CompileText("1:t150 c\n2:T90\n");
    ASSERT_TRUE(compiled.song);
    EXPECT_EQ(compiled.song->GetTempo(), 90);
    EXPECT_EQ(Inside(*compiled.song, 0), (Commands{Command('#', 0)}));
    EXPECT_FALSE(compiled.song->IsPartUsed(1));

    const mmltest::Compiled fromMacro = CompileText("str:never=t77\n");
    ASSERT_TRUE(fromMacro.song);
    EXPECT_EQ(fromMacro.song->GetTempo(), 77);
    EXPECT_TRUE(fromMacro.song->Macros().empty());

    const mmltest::Compiled none = CompileText("1:c\n");
    ASSERT_TRUE(none.song);
    EXPECT_EQ(none.song->GetTempo(), Song::kDefaultTempo);
}

TEST(Tags, TextRunsToTheLineEndAndTheLastLineWinsButNotesJoin) {
    const std::string source =
        "#Title  First\n#title Rain ; Snow \t\n#composer \x93\xFA\x96\x7B\n"
        "#date 2026/02/29\n#notes one\n#NOTES two\n1: c\n#date 2024/02/29\n";
    const Tarsel::CompileResult compiled = Tarsel::Compile(source, "FILE");
    ASSERT_TRUE(compiled.song);
    EXPECT_EQ(compiled.song->GetTags(),
              (song::Tags{"Rain ; Snow", "\u65E5\u672C", "2024/02/29", "one\ntwo"}));
    // Each tag line is one use of an extension, its trailing blanks left out.
    ASSERT_EQ(compiled.extensions.size(), 7u);
    const Tarsel::ExtensionUse& second = compiled.extensions[1];
    EXPECT_EQ(second.kind, Tarsel::Extension::kTag);
    EXPECT_EQ(source.substr(second.offset, second.length), "#title Rain ; Snow");

    // A date that is none is left out; the warnings pass says why.
    const Tarsel::CompileResult leap = Tarsel::Compile("#date 2026/02/29\n", "FILE");
    ASSERT_TRUE(leap.song);
    EXPECT_EQ(leap.song->GetTags().date, "");
}

TEST(Macros, SeveralLinesExtendOneMacroAndMarkNoPart) {
    const mmltest::Compiled compiled =
        CompileText("str:fill=c\n1:$fill$ r\nstr:fill$ = d4 $inner$\nstr:x=\nstr: my tune = e\n");
    ASSERT_TRUE(compiled.song);
    const Song& song = *compiled.song;
    ASSERT_TRUE(song.HasMacro("fill"));
    EXPECT_EQ(song.Macros().at("fill"), (CommandList{Command('#', 0), Command('#', 2, 16),
                                                     Command('$', "inner"), Command('%')}));
    EXPECT_FALSE(song.HasMacro("x"));
    EXPECT_TRUE(song.HasMacro("my tune"));
    EXPECT_FALSE(song.HasMacro("mytune"));
    EXPECT_EQ(Inside(song, 0), (Commands{Command('$', "fill"), Command('R', 0)}));
    for (int p = 1; p < song::kPartCount; ++p) EXPECT_FALSE(song.IsPartUsed(p));
}

struct SourceCase {
    std::string text;
    // The text at every written command's source: the parts' commands, then
    // each macro's, in name order.
    std::vector<std::string> spellings;
    int part;  // asked, after `ticks` ticks, what it plays:
    int64_t ticks;
    // the text of the calls on the way, outermost first, and of the command
    std::vector<std::string> playing;
};

class CommandSource : public ::testing::TestWithParam<SourceCase> {};

TEST_P(CommandSource, PointsAtItsTextAndThePlayingCommandNamesItsMacroCalls) {
    const SourceCase& c = GetParam();
    const mmltest::Compiled compiled = CompileText(c.text);
    ASSERT_TRUE(compiled.song);
    const Song& song = *compiled.song;
    const auto spelling = [&c](const Command* cmd) {
        EXPECT_LE(uint64_t{cmd->source.offset} + cmd->source.length, c.text.size());
        return c.text.substr(cmd->source.offset, cmd->source.length);
    };
    std::vector<std::string> spellings;
    const auto collect = [&](const CommandList& list) {
        for (const Command& cmd : list) {
            if (cmd.source.Known()) spellings.push_back(spelling(&cmd));
        }
    };
    for (int part = 0; part < song::kPartCount; ++part) collect(song.Part(part));
    for (const auto& [name, list] : song.Macros()) collect(list);
    EXPECT_EQ(spellings, c.spellings);

    FM::OPN chip;
    sequencer::Sequencer player(&chip, &song);
    ASSERT_TRUE(player.Init(44100));
    while (player.CurrentTick() < c.ticks) player.Tick();
    const sequencer::Sequencer::Playing now = player.NowPlaying(c.part);
    ASSERT_NE(now.command, nullptr);
    std::vector<std::string> playing;
    for (const Command* call : now.calls) playing.push_back(spelling(call));
    playing.push_back(spelling(now.command));
    EXPECT_EQ(playing, c.playing);
}

INSTANTIATE_TEST_SUITE_P(
    Songs, CommandSource,
    ::testing::Values(
        // Offsets count the byte-order mark; blanks inside a command are its own.
        SourceCase{"\xEF\xBB\xBF; x\r\n1: l8 c+8. D 4\r\n1:  r16 & e\n",
                   {"l8", "c+8.", "D 4", "r16", "&", "e"},
                   0,
                   14,
                   {"D 4"}},
        // The last note of a macro called from a macro, whose look-ahead has
        // already returned to the part.
        SourceCase{"1: c4 $a$ d4\nstr:a= e8 $b$\nstr:b=f16 g16\n",
                   {"c4", "$a$", "d4", "e8", "$b$", "f16", "g16"},
                   0,
                   30,
                   {"$a$", "$b$", "g16"}},
        // A call in a loop; then, back in the part, no call is left.
        SourceCase{"str:riff=c4 r\n5: {2 $riff$ } l16 w\n6:c\n",
                   {"{2", "$riff$", "}", "l16", "w", "c", "c4", "r"},
                   4,
                   100,
                   {"$riff$", "r"}},
        SourceCase{"str:riff=c4 r\n5: {2 $riff$ } l16 w\n",
                   {"{2", "$riff$", "}", "l16", "w", "c4", "r"},
                   4,
                   162,
                   {"w"}}));

TEST(Voices, DefinitionsCarryOverThroughTheWorkVoice) {
    const mmltest::Compiled compiled = CompileText(
        "lfo:9,8,7,1,1\n"  // before any sound line: stored under 0
        "sound:@1\n"
        "lfo: 1,2,3,4,7\n"
        "op1:31,5,7,8,2,20,1,2,3,1\n"
        "op2:1\n"
        "op3:2,2,2,2,2,2,2,2,2,2,99\n"
        "op4:31.\n"
        "sound:2\n"
        "lfo:0,0,0,9\n"
        "op1:300,0,0,0,0,200\n");
    ASSERT_TRUE(compiled.song);
    const Song::VoiceMap& voices = compiled.song->Voices();
    ASSERT_EQ(voices.size(), 3u);

    EXPECT_EQ(voices.at(0).lfo, (std::array<int32_t, 3>{9, 8, 7}));

    const FMVoice& first = voices.at(1);
    EXPECT_EQ(first.lfo, (std::array<int32_t, 3>{1, 2, 3}));
    EXPECT_EQ(first.fbAlg, 0x3C);  // feedback 7 in bits 5-3, connection 4 in bits 2-0
    EXPECT_EQ(first.op[0], (FMOperatorBlock{0x32, 20, 0x5F, 5, 7, 0x28, 1}));
    EXPECT_EQ(first.op[1], (FMOperatorBlock{0, 0, 1, 0, 0, 0, 0}));
    EXPECT_EQ(first.op[2], (FMOperatorBlock{0x22, 2, 0x82, 2, 2, 0x22, 2}));
    EXPECT_EQ(first.op[3], FMOperatorBlock{});

    // The second voice changes connection and operator 1 only; the rest is
    // what the first definition left in the work voice.
    const FMVoice& second = voices.at(2);
    EXPECT_EQ(second.lfo, (std::array<int32_t, 3>{0, 0, 0}));
    EXPECT_EQ(second.fbAlg, 0x01);  // connection 9 keeps its low three bits
    EXPECT_EQ(second.op[0], (FMOperatorBlock{0, 200 & 0x7F, 300 & 0x1F, 0, 0, 0, 0}));
    EXPECT_EQ(second.op[1], first.op[1]);
    EXPECT_EQ(second.op[2], first.op[2]);
    EXPECT_EQ(second.op[3], first.op[3]);
}

TEST(Envelopes, ItemsLevelsAndReplacement) {
    const mmltest::Compiled compiled = CompileText(
        "ssgenv:@3,2,15,12,8\n"
        "ssgenv:@4,2\n"
        "ssgenv:1,2,\n"
        "  -> 3,4\n"
        "ssgenv:6,1,1\n"
        "ssgenv:6,9,2,2\n");
    ASSERT_TRUE(compiled.song);
    const Song::EnvelopeMap& envelopes = compiled.song->SSGEnvelopes();
    EXPECT_EQ(envelopes.count(4), 0u);
    EXPECT_EQ(envelopes.at(3), (SSGEnvelope{2, {15, 12, 8}}));
    EXPECT_EQ(envelopes.at(1), (SSGEnvelope{2, {0, 3, 4}}));
    EXPECT_EQ(envelopes.at(6), (SSGEnvelope{9, {2, 2}}));
    EXPECT_EQ(envelopes.size(), 3u);
}

TEST(Envelopes, LevelsKeepTheirLowEightBits) {
    const mmltest::Compiled compiled = CompileText("ssgenv:5,-3,300,-1,,256\n");
    ASSERT_TRUE(compiled.song);
    EXPECT_EQ(compiled.song->SSGEnvelopes().at(5), (SSGEnvelope{-3, {44, 255, 0, 0}}));
}

TEST(Conversions, ToIntTakesOnlyAWholeInteger) {
    EXPECT_EQ(CompileContext::ToInt("-12"), -12);
    EXPECT_EQ(CompileContext::ToInt("+7"), 7);
    EXPECT_EQ(CompileContext::ToInt("-2147483648"), INT32_MIN);
    for (const char* text : {"", "4.", ".", " 4", "4 ", "2147483648", "+", "1x"}) {
        EXPECT_EQ(CompileContext::ToInt(text), 0) << text;
    }
}

class BadLength : public ::testing::TestWithParam<std::string> {};

TEST_P(BadLength, EndsTheCompileWithTheConversionMessageOfItsLine) {
    const mmltest::Compiled compiled =
        CompileText("; one\n\n1:c4\nsound:1\n1:" + GetParam() + "\n1:d\n");
    EXPECT_FALSE(compiled.song);
    EXPECT_EQ(compiled.messages,
              (std::vector<std::string>{
                  "FILE(5) : bad lexical cast: source type value could not be interpreted as "
                  "target\n"}));
}

INSTANTIATE_TEST_SUITE_P(Lengths, BadLength,
                         ::testing::Values("c.", "c+.", "c4 .", "r.", "l4 .", "w .", "e d."));

}  // namespace
