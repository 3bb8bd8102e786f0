#include "song/Song.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using song::Command;
using song::CommandList;
using song::FMVoice;
using song::Song;
using song::SSGEnvelope;

namespace {

std::string Codes(const CommandList& list) {
    std::string s;
    for (const Command& c : list) s += c.code;
    return s;
}

TEST(SongFraming, NewSongIsEmptyWithDefaultTempo) {
    Song song;
    for (int p = 0; p < song::kPartCount; ++p) {
        EXPECT_FALSE(song.IsPartUsed(p));
        EXPECT_TRUE(song.Part(p).empty());
        EXPECT_EQ(song.PartBegin(p), song.Part(p).end());
    }
    EXPECT_EQ(song.GetTempo(), 120);
    EXPECT_TRUE(song.Macros().empty());
}

TEST(SongFraming, FirstCommandFramesThePartInAnEndlessLoop) {
    Song song;
    song.AddToPart(0, Command('#', 0, 0, 0));
    EXPECT_TRUE(song.IsPartUsed(0));
    EXPECT_FALSE(song.IsPartUsed(1));
    ASSERT_EQ(Codes(song.Part(0)), "{#}");
    const Command& open = song.Part(0).front();
    EXPECT_EQ(open.arg, (std::array<int32_t, 3>{0, 0, 0}));
    EXPECT_EQ(song.PartBegin(0), song.Part(0).begin());
}

TEST(SongFraming, CommandsFromSeveralLinesJoinInFileOrderInsideOneFrame) {
    Song song;
    song.AddToPart(3, Command('O', 5));
    song.AddToPart(4, Command('#', 9));
    song.AddToPart(3, Command('#', 2, 16));
    song.AddToPart(3, Command('R', 8));
    ASSERT_EQ(Codes(song.Part(3)), "{O#R}");
    auto it = std::next(song.Part(3).begin());
    EXPECT_EQ(*it++, Command('O', 5));
    EXPECT_EQ(*it++, Command('#', 2, 16));
    EXPECT_EQ(*it++, Command('R', 8));
    EXPECT_EQ(Codes(song.Part(4)), "{#}");
}

TEST(SongFraming, PositionsStayValidWhileCommandsAreInserted) {
    Song song;
    song.AddToPart(0, Command('#', 0));
    const auto first = std::next(song.PartBegin(0));
    for (int i = 0; i < 100; ++i) song.AddToPart(0, Command('#', i % 12));
    EXPECT_EQ(first->code, '#');
    EXPECT_EQ(first->arg[0], 0);
    EXPECT_EQ(std::next(first)->arg[0], 0);
    EXPECT_EQ(song.Part(0).back().code, '}');
}

TEST(SongMacros, MacroEndsWithReturnAndJoinsLinesOfTheSameName) {
    Song song;
    EXPECT_FALSE(song.HasMacro("fill"));
    song.AddToMacro("fill", Command('#', 0));
    song.AddToMacro("other", Command('V', 3));
    song.AddToMacro("fill", Command('#', 2));
    ASSERT_TRUE(song.HasMacro("fill"));
    EXPECT_EQ(Codes(song.Macros().at("fill")), "##%");
    auto it = song.MacroBegin("fill");
    EXPECT_EQ(it->arg[0], 0);
    EXPECT_EQ(std::next(it)->arg[0], 2);
    EXPECT_EQ(Codes(song.Macros().at("other")), "V%");
    // Macros never mark a part as used.
    for (int p = 0; p < song::kPartCount; ++p) EXPECT_FALSE(song.IsPartUsed(p));
}

TEST(SongMacros, TheReturnedListTakesFurtherCommandsBeforeTheReturn) {
    Song song;
    CommandList& riff = song.AddToMacro("riff", Command('#', 0));
    Song::AppendToMacro(riff, Command('#', 4));
    song.AddToMacro("riff", Command('#', 7));
    EXPECT_EQ(Codes(song.Macros().at("riff")), "###%");
    EXPECT_EQ(std::next(song.MacroBegin("riff"))->arg[0], 4);
    EXPECT_EQ(song.Macros().size(), 1u);
}

TEST(SongMacros, NamesAreComparedBytewise) {
    Song song;
    song.AddToMacro("Riff", Command('#', 0));
    EXPECT_TRUE(song.HasMacro("Riff"));
    EXPECT_FALSE(song.HasMacro("riff"));
    EXPECT_FALSE(song.HasMacro("Riff "));
    song.AddToMacro("my tune", Command('#', 4));
    EXPECT_TRUE(song.HasMacro("my tune"));
    EXPECT_FALSE(song.HasMacro("mytune"));
}

TEST(SongMacros, CallKeepsItsNameInTheText) {
    Command call('$', std::string("intro"));
    EXPECT_EQ(call.text, "intro");
    EXPECT_EQ(call.arg, (std::array<int32_t, 3>{0, 0, 0}));
    const std::vector<int32_t> many{1, 2, 3, 4, 5};
    EXPECT_EQ(Command('U', many), Command('U', 1, 2, 3));
    const std::vector<int32_t> one{7};
    EXPECT_EQ(Command('Y', one), Command('Y', 7, 0, 0));
}

TEST(SongTables, LookingUpAnUndefinedVoiceGivesAnAllZeroVoiceAndAddsNothing) {
    Song song;
    FMVoice a;
    a.fbAlg = 0x3C;
    a.op[2].tl = 40;
    song.SetVoice(1, a);
    song.SetVoice(2, a);
    const FMVoice& v = song.GetVoice(5);
    EXPECT_EQ(v, FMVoice{});
    EXPECT_EQ(song.Voices().size(), 2u);  // looking up adds nothing
    EXPECT_EQ(song.GetVoice(1), a);
}

TEST(SongTables, LookingUpAnUndefinedEnvelopeGivesTheNeutralEnvelopeAndAddsNothing) {
    Song song;
    const SSGEnvelope& e = song.GetSSGEnvelope(9);
    EXPECT_EQ(e.stepLength, 64);
    EXPECT_EQ(e.levels, std::vector<uint8_t>{15});
    EXPECT_TRUE(song.SSGEnvelopes().empty());
}

TEST(SongTables, StoringAgainReplacesTheWholeValue) {
    Song song;
    FMVoice first;
    first.op[0].tl = 10;
    first.op[3].slRr = 0xFF;
    first.lfo = {1, 2, 3};
    song.SetVoice(4, first);
    FMVoice second;
    second.op[1].dtMul = 0x32;
    song.SetVoice(4, second);
    EXPECT_EQ(song.GetVoice(4), second);
    EXPECT_EQ(song.Voices().size(), 1u);

    song.SetSSGEnvelope(3, SSGEnvelope{2, {15, 12, 8}});
    song.SetSSGEnvelope(3, SSGEnvelope{5, {1}});
    EXPECT_EQ(song.GetSSGEnvelope(3), (SSGEnvelope{5, {1}}));
}

TEST(SongTables, TempoAcceptsAnyValueAndTheLastWins) {
    Song song;
    song.SetTempo(150);
    song.SetTempo(0);
    EXPECT_EQ(song.GetTempo(), 0);
    song.SetTempo(-7);
    EXPECT_EQ(song.GetTempo(), -7);
}

}  // namespace
