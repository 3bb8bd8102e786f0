#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "SequencerRig.h"

namespace {

class SequencerTest : public ::testing::Test, public SequencerRig {};

// ---- Clock and render loop -------------------------------------------------

TEST(SequencerClockTest, TickLengthFollowsTempoAndRate) {
    struct Case {
        int32_t tempo;
        uint32_t rate;
        int32_t frames;
    };
    const Case cases[] = {
        {120, 44100, 1253},     {120, 48000, 1364},    {150, 44100, 1002},
        {120, 22050, 626},      {1000000, 44100, 1},    // rounds to 0: one frame at least
        {-5, 44100, 1},         {0, 44100, INT32_MAX},  // an endless tick, held at the largest
                                                        // count
        {INT32_MIN, 192000, 1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Sequencer::TickLength(c.tempo, c.rate), c.frames) << c.tempo << " " << c.rate;
    }
}

TEST_F(SequencerTest, InitRefusesRatesTheChipCannotServe) {
    Sequencer low(&chip, &song);
    EXPECT_FALSE(low.Init(7999));
    Sequencer high(&chip, &song);
    EXPECT_FALSE(high.Init(192001));
    // A refused sequencer renders silence and never ticks.
    std::vector<int16_t> buffer(64, 123);
    high.Render(buffer.data(), 32);
    EXPECT_EQ(buffer, std::vector<int16_t>(64, 0));
    EXPECT_EQ(high.CurrentTick(), 0);
    Sequencer edge(&chip, &song);
    EXPECT_TRUE(edge.Init(8000));
    EXPECT_TRUE(edge.Init(192000));
}

TEST_F(SequencerTest, ATickRunsBeforeEveryTickBoundary) {
    Start();
    std::vector<int16_t> buffer(2 * 4000);
    seq->Render(buffer.data(), 1253);
    EXPECT_EQ(seq->CurrentTick(), 1);
    Start();
    seq->Render(buffer.data(), 1254);
    EXPECT_EQ(seq->CurrentTick(), 2);
    // A request ending on a boundary leaves that tick to the next request.
    Start();
    seq->Render(buffer.data(), 2506);
    EXPECT_EQ(seq->CurrentTick(), 2);
    seq->Render(buffer.data(), 1);
    EXPECT_EQ(seq->CurrentTick(), 3);
}

TEST_F(SequencerTest, EmptySongRendersSilenceWhileTicksAdvance) {
    Start();
    std::vector<int16_t> buffer(2 * 5000, 77);
    seq->Render(buffer.data(), 5000);
    EXPECT_EQ(buffer, std::vector<int16_t>(2 * 5000, 0));
    EXPECT_EQ(seq->CurrentTick(), 4);
    for (int p = 0; p < Sequencer::kPartCount; ++p) EXPECT_FALSE(seq->IsActive(p));
}

// A song with sound on FM and SSG and every kind of per-tick effect.
void BuildBusySong(Song& song) {
    FMVoice v;
    v.fbAlg = 0x32;
    for (auto& op : v.op) op = {0x01, 0x10, 0x1F, 0x05, 0x02, 0x24, 1};
    v.op[3].tl = 0;
    song.SetVoice(1, v);
    song.SetSSGEnvelope(2, SSGEnvelope{3, {15, 12, 9, 13}});
    song.SetTempo(200);
    for (int part : {0, 2}) {
        song.AddToPart(part, Command('@', 1));
        song.AddToPart(part, Command('I', 40, 2, 3));
        song.AddToPart(part, Command('#', 9, 8));
        song.AddToPart(part, Command('P', 6));
        song.AddToPart(part, Command('>'));
        song.AddToPart(part, Command('#', 2, 12));
        song.AddToPart(part, Command('R', 4));
    }
    song.AddToPart(3, Command('@', 2));
    song.AddToPart(3, Command('U', 4, 2, 1));
    song.AddToPart(3, Command('#', 0, 6));
    song.AddToPart(3, Command('&'));
    song.AddToPart(3, Command('#', 4, 6));
    song.AddToPart(4, Command('S', 8));
    song.AddToPart(4, Command('M', 300));
    song.AddToPart(4, Command('#', 7, 5));
}

TEST(SequencerChunkTest, OutputDoesNotDependOnHowRequestsAreCut) {
    constexpr int kFrames = 30000;
    auto render = [](int piece) {
        Song song;
        BuildBusySong(song);
        FM::OPN chip;
        Sequencer seq(&chip, &song);
        EXPECT_TRUE(seq.Init(44100));
        std::vector<int16_t> out(2 * kFrames);
        for (int done = 0; done < kFrames; done += piece) {
            seq.Render(out.data() + 2 * done, std::min(piece, kFrames - done));
        }
        return out;
    };
    const auto whole = render(kFrames);
    int nonzero = 0;
    for (int16_t s : whole) nonzero += s != 0;
    EXPECT_GT(nonzero, kFrames);  // the song is audible
    EXPECT_EQ(render(1), whole);
    EXPECT_EQ(render(4099), whole);
    EXPECT_EQ(render(1253), whole);
}

// ---- Notes, pitch, gate and ties ---------------------------------------------

TEST_F(SequencerTest, NotePitchesFromTheTables) {
    Add(0, Command('#', 9, 16));  // FM A, octave 4
    Add(3, Command('#', 9, 16));  // SSG A, octave 4
    Add(1, Command('N', 255));    // one semitone up
    Add(1, Command('#', 0, 16));
    Add(4, Command('N', 1));  // too small to round away: forced one step
    Add(4, Command('#', 0, 16));
    Add(5, Command('N', -1));
    Add(5, Command('#', 0, 16));
    Start();
    Tick();
    EXPECT_EQ(FMPitch(0), (BlockFnum{4, 1040}));
    EXPECT_EQ(SSGPeriod(0), 284);
    EXPECT_EQ(FMPitch(1), (BlockFnum{4, 655}));
    EXPECT_EQ(SSGPeriod(1), 476);
    EXPECT_EQ(SSGPeriod(2), 478);
}

TEST_F(SequencerTest, OutOfRangePitchesStayInsideTheTables) {
    for (int i = 0; i < 4; ++i) Add(3, Command('<'));  // octave 0
    Add(3, Command('#', -1, 4));                       // below the table's first entry
    Add(4, Command('O', 8));
    Add(4, Command('#', 12, 4));  // row 9, first entry
    Add(5, Command('#', 500, 4));
    Add(0, Command('#', -40, 4));
    Add(1, Command('#', 40, 4));
    Start();
    Tick();
    EXPECT_EQ(SSGPeriod(0), 3816);
    EXPECT_EQ(SSGPeriod(1), 15);
    EXPECT_EQ(SSGPeriod(2), 8);
    EXPECT_EQ(FMPitch(0), (BlockFnum{4, 584}));
    EXPECT_EQ(FMPitch(1), (BlockFnum{4, 1236}));
}

TEST_F(SequencerTest, OctaveCommandsKeepTheirLimits) {
    struct Case {
        std::vector<Command> commands;
        int32_t octave;
    };
    const Case cases[] = {
        {{Command('O', 8), Command('>')}, 8},
        {{Command('O', 1), Command('<')}, 0},
        {{Command('O', 1), Command('<'), Command('<')}, 0},
        {{Command('O', 0)}, 1},
        {{Command('O', 9)}, 8},
        {{Command('O', -100)}, 1},
        {{Command('>'), Command('>')}, 6},
    };
    for (const auto& c : cases) {
        song = Song();
        for (const auto& cmd : c.commands) Add(0, cmd);
        Add(0, Command('W', 4));
        Start();
        Tick();
        EXPECT_EQ(seq->Part(0).octave, c.octave);
    }
}

// Key writes of FM channel 1 per tick for a run of ticks.
std::vector<std::vector<bool>> KeysPerTick(SequencerTest& t, int ticks) {
    std::vector<std::vector<bool>> keys;
    for (int i = 0; i < ticks; ++i) {
        t.Tick();
        keys.push_back(t.FMKeys(0));
    }
    return keys;
}

TEST_F(SequencerTest, GateDecidesWhenTheNoteIsKeyedOff) {
    using Keys = std::vector<bool>;
    struct Case {
        int32_t gate;
        int32_t length;
        int keyOffTick;  // first tick with a key-off write
    };
    const Case cases[] = {
        {8, 8, 8},   // off as the next command falls due
        {4, 8, 4},   // half of the length
        {1, 4, 1},   // 4 / 8 = 0 ticks: one tick at least
        {12, 8, 8},  // above 8 sounds like 8
        {0, 8, 1},  {-3, 8, 1},
    };
    for (const auto& c : cases) {
        song = Song();
        Add(0, Command('Q', c.gate));
        Add(0, Command('#', 0, c.length));
        Add(0, Command('R', 20));
        Start();
        const auto keys = KeysPerTick(*this, c.length + 2);
        // Tick 0 keys off before the first note keys on.
        EXPECT_EQ(keys[0], (Keys{false, true})) << "gate " << c.gate;
        for (int t = 1; t < c.keyOffTick; ++t) EXPECT_EQ(keys[t], Keys{}) << "tick " << t;
        EXPECT_FALSE(keys[c.keyOffTick].empty());
        for (bool on : keys[c.keyOffTick]) EXPECT_FALSE(on) << "gate " << c.gate;
        // Once the sounding time is over, the key-off repeats every tick.
        if (c.gate <= 8) {
            for (int t = c.keyOffTick; t < c.length + 2; ++t) EXPECT_FALSE(keys[t].empty());
        }
    }
}

TEST_F(SequencerTest, TiedNotesSoundOnWithoutKeyOffAndShareTheirStart) {
    Add(0, Command('#', 0, 4));
    Add(0, Command('&'));
    Add(0, Command('#', 4, 4));
    Add(0, Command('R', 4));
    Start();
    const auto keys = KeysPerTick(*this, 4);
    EXPECT_EQ(keys[0], (std::vector<bool>{false, true}));
    for (int t = 1; t < 4; ++t) EXPECT_TRUE(keys[t].empty());
    Tick();  // tick 4: the tied note changes the pitch, keys on again, no key-off
    EXPECT_EQ(FMKeys(0), std::vector<bool>{true});
    EXPECT_EQ(FMPitch(0), (BlockFnum{4, 779}));
    EXPECT_EQ(seq->Part(0).noteStart, 0);
    TickTo(8);
    Tick();  // tick 8: the rest
    EXPECT_FALSE(FMKeys(0).empty());
    for (bool on : FMKeys(0)) EXPECT_FALSE(on);
}

// ---- Flow: loops, macros, and flows that never reach a timed command ----------

TEST_F(SequencerTest, CountedLoopPlaysItsBodyThatOftenThenMovesOn) {
    Add(0, Command('{', 3));
    Add(0, Command('#', 0, 4));
    Add(0, Command('}'));
    Add(0, Command('#', 2, 4));
    Start();
    std::vector<int> fnums;
    for (int t = 0; t < 20; ++t) {
        Tick();
        if (FMKeys(0).size() == 2 || (t == 0)) fnums.push_back(FMPitch(0)->fnum);
    }
    // Notes at ticks 0, 4, 8 (C), 12 (D), then the part's loop starts again at 16.
    EXPECT_EQ(fnums, (std::vector<int>{618, 618, 618, 694, 618}));
}

TEST_F(SequencerTest, EndlessLoopNeverReachesWhatFollowsAndCountsPasses) {
    Add(0, Command('{'));
    Add(0, Command('#', 0, 4));
    Add(0, Command('}'));
    Add(0, Command('#', 2, 4));
    Start();
    for (int t = 0; t < 40; ++t) {
        Tick();
        ASSERT_EQ(FMPitch(0).value_or(BlockFnum{4, 618}).fnum, 618);
    }
    EXPECT_TRUE(seq->IsActive(0));
    // The look-ahead of the note at tick 36 closed pass 10, which ends with that note.
    EXPECT_EQ(seq->Passes(0), 10);
    EXPECT_EQ(seq->PassEndTick(0), 40);
}

TEST_F(SequencerTest, PassEndsWhereItsLastNoteRestOrWaitEnds) {
    Add(0, Command('#', 0, 16));  // the look-ahead closes the part's loop at tick 0
    Add(3, Command('#', 0, 16));
    Add(3, Command('R', 8));  // closed when the rest is over
    Start();
    Tick();
    EXPECT_EQ(seq->Passes(0), 1);
    EXPECT_EQ(seq->PassEndTick(0), 16);
    EXPECT_EQ(seq->Passes(3), 0);
    TickTo(24);
    EXPECT_EQ(seq->Passes(3), 0);
    Tick();  // tick 24
    EXPECT_EQ(seq->Passes(3), 1);
    EXPECT_EQ(seq->PassEndTick(3), 24);
    EXPECT_EQ(seq->Passes(0), 2);
    EXPECT_EQ(seq->PassEndTick(0), 32);
}

TEST_F(SequencerTest, MacrosReturnThroughEveryLevel) {
    song.AddToMacro("outer", Command('#', 0, 4));
    song.AddToMacro("outer", Command('$', std::string("inner")));
    song.AddToMacro("outer", Command('#', 4, 4));
    song.AddToMacro("inner", Command('#', 2, 4));
    Add(0, Command('$', std::string("outer")));
    Add(0, Command('$', std::string("undefined")));  // skipped
    Add(0, Command('#', 5, 4));
    Start();
    std::vector<int> fnums;
    for (int t = 0; t < 20; t += 4) {
        TickTo(t);
        Tick();
        fnums.push_back(FMPitch(0)->fnum);
    }
    EXPECT_EQ(fnums, (std::vector<int>{618, 694, 779, 825, 618}));
}

TEST_F(SequencerTest, SettingsOnlyPartRunsItsCommandsTwiceThenStops) {
    Add(3, Command('V', 10));
    Start();
    Tick();
    // Twice by the command (once per pass of the part's loop), once by the effects.
    EXPECT_EQ(log.ValuesOf(8), (std::vector<uint32_t>{10, 10, 10}));
    EXPECT_FALSE(seq->IsActive(3));
    Tick();
    EXPECT_EQ(log.Count(8), 0);
}

TEST_F(SequencerTest, FlowsThatNeverReachATimedCommandEndThePart) {
    struct Case {
        const char* name;
        std::vector<Command> part;
        std::vector<Command> macro;  // macro "m"
        int64_t endsBy;              // the part is inactive after this many ticks
    };
    const Case cases[] = {
        {"negative count, no note", {Command('{', -1), Command('V', 3), Command('}')}, {}, 1},
        {"huge count, no note", {Command('{', 1000000), Command('V', 3), Command('}')}, {}, 1},
        {"self call before a note",
         {Command('$', std::string("m"))},
         {Command('$', std::string("m"))},
         1},
        {"self call after a note",
         {Command('$', std::string("m"))},
         {Command('#', 0, 1), Command('$', std::string("m"))},
         Sequencer::kMaxNesting + 1},
        {"zero lengths", {Command('L', 0), Command('#', 0, 0)}, {}, 1},
        {"negative lengths", {Command('#', 0, -5), Command('R', -5)}, {}, 1},
        // The counted loop takes the part's closing bracket and runs off the list.
        {"more open than close", {Command('{', 3), Command('#', 0, 2)}, {}, 7},
        {"nested open loops", std::vector<Command>(600, Command('{')), {}, 1},
    };
    for (const auto& c : cases) {
        song = Song();
        for (const auto& cmd : c.part) Add(0, cmd);
        for (const auto& cmd : c.macro) song.AddToMacro("m", cmd);
        Start();
        TickTo(c.endsBy);
        EXPECT_FALSE(seq->IsActive(0)) << c.name;
        EXPECT_LE(seq->Part(0).returnStack.size(), Sequencer::kMaxNesting) << c.name;
        EXPECT_LE(seq->Part(0).loopStack.size(), Sequencer::kMaxNesting) << c.name;
    }
}

TEST_F(SequencerTest, NegativeLoopCountWithANotePlaysForEver) {
    Add(0, Command('{', -2));
    Add(0, Command('#', 0, 2));
    Add(0, Command('}'));
    Add(0, Command('#', 2, 2));
    Start();
    TickTo(1000);
    EXPECT_TRUE(seq->IsActive(0));
    EXPECT_EQ(seq->Part(0).freq, 618);
}

TEST_F(SequencerTest, RawRegisterWritesReachTheChip) {
    Add(3, Command('Y', 6, 17));
    Add(3, Command('Y', -1, 5));  // no such register: ignored by the chip
    Add(3, Command('W', 4));
    Start();
    Tick();
    EXPECT_EQ(log.Last(6), 17u);
}

}  // namespace
