#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <optional>
#include <string>
#include <vector>

#include "SequencerRig.h"

using sequencer::Sequencer;
using song::Command;
using song::Song;

namespace {

class SequencerTest : public ::testing::Test, public SequencerRig {};

Command Call(const char* name) {
    return Command('$', std::string(name));
}

TEST_F(SequencerTest, TicksFallOnExactFrameBoundaries) {
    struct Case {
        int32_t tempo;
        uint32_t rate;
        int32_t frames;
    };
    for (const Case& c : {Case{120, 44100, 1253}, Case{120, 48000, 1364}, Case{150, 44100, 1002},
                          Case{120, 22050, 626}, Case{1000000, 44100, 1}, Case{-5, 44100, 1},
                          Case{0, 44100, INT32_MAX}}) {
        EXPECT_EQ(Sequencer::TickLength(c.tempo, c.rate), c.frames) << c.tempo << " " << c.rate;
    }
    std::vector<int16_t> buffer(2 * 5012, 77);
    for (auto [frames, ticks] : {std::pair{1253, 1}, {1254, 2}, {2506, 2}, {5012, 4}}) {
        Start();
        seq->Render(buffer.data(), frames);
        EXPECT_EQ(seq->CurrentTick(), ticks) << frames;
    }
    seq->Render(buffer.data(), 1);  // a request that starts on a boundary runs its tick first
    EXPECT_EQ(seq->CurrentTick(), 5);
    // A song without parts is silence (the chip's reset state).
    EXPECT_EQ(buffer, std::vector<int16_t>(2 * 5012, 0));

    Sequencer refused(&chip, &song);
    for (uint32_t rate : {7999u, 192001u}) EXPECT_FALSE(refused.Init(rate));
    std::fill(buffer.begin(), buffer.end(), 5);
    refused.Render(buffer.data(), 10);
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(refused.CurrentTick(), 0);
}

TEST_F(SequencerTest, PitchesComeFromTheTablesAndStayInside) {
    struct Case {
        int part;
        std::vector<Command> before;
        int32_t semitone;
        int expected;
    };
    const Case cases[] = {
        {0, {}, 9, Pitch(4, 1040)},                  // A, octave 4
        {0, {Command('N', 255)}, 0, Pitch(4, 655)},  // one semitone up from C
        {0, {}, -40, Pitch(4, 584)},
        {0, {Command('O', 8)}, 40, Pitch(7, 1236)},
        {3, {}, 9, 284},
        {3, {Command('N', 1)}, 0, 476},  // rounds back to 477: moved by one anyway
        {3, {Command('N', -1)}, 0, 478},
        {3, {Command('O', 1), Command('<')}, -1, 3816},  // octave 0, below the table
        {3, {Command('O', 8)}, 12, 15},
        {3, {}, 500, 8},
    };
    for (const auto& c : cases) {
        song = Song();
        for (const auto& cmd : c.before) Add(c.part, cmd);
        Add(c.part, Command('#', c.semitone, 4));
        Start();
        Tick();
        EXPECT_EQ(c.part < 3 ? FMPitch(0) : SSGPeriod(0), c.expected) << c.semitone;
    }
    const std::pair<std::vector<Command>, int32_t> octaves[] = {
        {{Command('O', 8), Command('>')}, 8},
        {{Command('O', 1), Command('<'), Command('<')}, 0},
        {{Command('O', 0)}, 1},
        {{Command('O', 9)}, 8},
    };
    for (const auto& [commands, octave] : octaves) {
        song = Song();
        for (const auto& cmd : commands) Add(0, cmd);
        Add(0, Command('W', 4));
        Start();
        Tick();
        EXPECT_EQ(seq->Part(0).octave, octave);
    }
}

TEST_F(SequencerTest, GateAndTieDecideTheKeyOff) {
    struct Case {
        int32_t gate, length;
        int firstOff;  // first tick after 0 with a key-off
    };
    for (const Case& c :
         {Case{8, 8, 8}, Case{4, 8, 4}, Case{1, 4, 1}, Case{12, 8, 8}, Case{-3, 8, 1}}) {
        song = Song();
        Add(0, Command('Q', c.gate));
        Add(0, Command('#', 0, c.length));
        Add(0, Command('R', 20));
        Start();
        Tick();
        EXPECT_EQ(FMKeys(0), (std::vector<bool>{false, true}));  // tick 0: off, then the note
        for (int t = 1; t <= c.firstOff; ++t) {
            Tick();
            EXPECT_EQ(FMKeys(0).empty(), t < c.firstOff) << c.gate << " tick " << t;
        }
        for (bool on : FMKeys(0)) EXPECT_FALSE(on);
        Tick();  // and again in every later tick of the rest
        EXPECT_FALSE(FMKeys(0).empty() && c.gate <= 8);
    }
    // Tied: no key-off between the notes; the second keeps the first one's start.
    song = Song();
    for (const auto& cmd :
         {Command('#', 0, 4), Command('&'), Command('#', 4, 4), Command('R', 4)}) {
        Add(0, cmd);
    }
    Start();
    for (int t = 0; t < 4; ++t) Tick();
    EXPECT_TRUE(FMKeys(0).empty());
    Tick();
    EXPECT_EQ(FMKeys(0), std::vector<bool>{true});
    EXPECT_EQ(FMPitch(0), Pitch(4, 779));
    EXPECT_EQ(seq->Part(0).noteStart, 0);
}

TEST_F(SequencerTest, LoopsAndMacrosFollowTheirFlow) {
    // {3 C} D inside the part's own endless loop, then a macro calling a macro.
    song.AddToMacro("outer", Command('#', 4, 4));
    song.AddToMacro("outer", Call("inner"));
    song.AddToMacro("inner", Command('#', 5, 4));
    for (const auto& cmd : {Command('{', 3), Command('#', 0, 4), Command('}'), Command('#', 2, 4),
                            Call("outer"), Call("undefined"), Command('#', 7, 4)}) {
        Add(0, cmd);
    }
    Start();
    std::vector<int> notes;
    for (int t = 0; t < 32; t += 4) {
        TickTo(t);
        Tick();
        notes.push_back(FMPitch(0) & 0x7FF);
    }
    EXPECT_EQ(notes, (std::vector<int>{618, 618, 618, 694, 779, 825, 926, 618}));
    EXPECT_EQ(seq->Passes(0), 1);  // closed by the look-ahead of G at tick 24
    EXPECT_EQ(seq->PassEndTick(0), 28);
}

TEST_F(SequencerTest, PassesEndWhereTheirLastNoteRestOrWaitEnds) {
    Add(0, Command('{'));  // an inner endless loop: what follows is never reached
    Add(0, Command('#', 0, 4));
    Add(0, Command('}'));
    Add(0, Command('#', 2, 4));
    Add(3, Command('#', 0, 16));
    Add(3, Command('R', 8));
    Start();
    TickTo(24);
    EXPECT_EQ(seq->Passes(3), 0);
    seq->Tick();  // tick 24: the rest is over, the loop closes
    EXPECT_EQ(seq->Passes(3), 1);
    EXPECT_EQ(seq->PassEndTick(3), 24);
    EXPECT_EQ(seq->Passes(0), 7);
    EXPECT_EQ(seq->PassEndTick(0), 28);
    EXPECT_EQ(seq->Part(0).freq, 618);
    EXPECT_TRUE(seq->IsActive(0));
}

TEST_F(SequencerTest, APartStopsWhereItsLastNoteEnds) {
    // Each part ends after its last note: an empty endless loop, a macro that
    // calls itself, a counted loop that runs off the part's list.
    struct Case {
        const char* name;
        int part;
        std::vector<Command> commands;
        int64_t keyOff, stop;  // the first tick after which the channel is off, the part stopped
        int64_t passEnd;       // where the closed pass ends; -1: none closes
    };
    const Command c4('#', 0, 16), d4('#', 2, 16), c8('#', 0, 8), open('{'), close('}');
    const Case cases[] = {
        {"empty endless loop", 0, {c4, open, close}, 16, 16, 16},
        {"SSG", 3, {c4, open, close}, 16, 16, 16},
        {"self call", 0, {c4, d4, Call("m")}, 32, 32, -1},
        {"unclosed counted loop", 0, {Command('{', 3), c4, d4}, 96, 96, -1},
        {"gate", 0, {Command('Q', 4), c8, open, close}, 4, 8, 8},
        {"gate above 8", 0, {Command('Q', 12), c8, open, close}, 8, 8, 8},
        {"length 0", 0, {Command('L', 0), Command('#', 0, 0), open, close}, 1, 1, 1},
        {"tied to nothing", 0, {c4, Command('&'), open, close}, 16, 16, 16},
    };
    for (const auto& c : cases) {
        song = Song();
        for (const auto& cmd : c.commands) Add(c.part, cmd);
        song.AddToMacro("m", Call("m"));
        Start();
        log.writes.clear();
        std::optional<int64_t> keyOff, stop;
        for (int64_t t = 0; t <= c.stop + 1 && !stop; ++t) {
            seq->Tick();
            const bool on = c.part < 3 ? (log.Last(0x28).value_or(0) & 0xF0) != 0
                                       : seq->SSGControl().KeyedOn(c.part - 3);
            if (!on && !keyOff) keyOff = t;
            if (!seq->IsActive(c.part)) stop = t;
        }
        EXPECT_EQ(keyOff, c.keyOff) << c.name;
        EXPECT_EQ(stop, c.stop) << c.name;
        EXPECT_EQ(seq->Passes(c.part) > 0 ? seq->PassEndTick(c.part) : -1, c.passEnd) << c.name;
    }
}

TEST_F(SequencerTest, FlowsThatNeverReachATimedCommandEndThePart) {
    // Settings alone: run once per pass of the part's loop (twice), then the part stops.
    Add(3, Command('V', 10));
    Start();
    Tick();
    EXPECT_EQ(log.ValuesOf(8), (std::vector<uint32_t>{10, 10, 10}));  // + the effects' write
    EXPECT_FALSE(seq->IsActive(3));

    struct Case {
        const char* name;
        std::vector<Command> part, macro;  // macro "m"
        int64_t endsBy;
    };
    const Case cases[] = {
        {"negative count", {Command('{', -1), Command('V', 3), Command('}')}, {}, 1},
        {"huge count", {Command('{', 1000000), Command('V', 3), Command('}')}, {}, 1},
        {"self call", {Call("m")}, {Call("m")}, 1},
        {"self call after a note", {Call("m")}, {Command('#', 0, 1), Call("m")}, 300},
        {"zero lengths", {Command('L', 0), Command('#', 0, 0)}, {}, 2},  // the last note: 1 tick
        {"negative lengths", {Command('#', 0, -5), Command('R', -5)}, {}, 1},
        {"more { than }", {Command('{', 3), Command('#', 0, 2)}, {}, 7},  // runs off the list
        {"deep nesting", std::vector<Command>(600, Command('{')), {}, 1},
    };
    for (const auto& c : cases) {
        song = Song();
        for (const auto& cmd : c.part) Add(0, cmd);
        for (const auto& cmd : c.macro) song.AddToMacro("m", cmd);
        Start();
        TickTo(c.endsBy);
        EXPECT_FALSE(seq->IsActive(0)) << c.name;
        EXPECT_LE(seq->Part(0).flow.returns.size(), Sequencer::kMaxNesting) << c.name;
    }
    // The step budget follows the tempo, not the output rate: at a tempo that
    // makes every frame a tick a part may do only a little work without
    // time, and whatever it may do, it may do at every rate.
    struct Budget {
        int32_t tempo, count;
        bool playsOn;
    };
    for (const Budget& b :
         {Budget{INT32_MAX, 300, true}, Budget{INT32_MAX, 400, false}, Budget{20000, 600, true},
          Budget{120, 10000, true}, Budget{120, 30000, false}}) {
        for (uint32_t rate : {Sequencer::kMinRate, 44100u, Sequencer::kMaxRate}) {
            song = Song();
            song.SetTempo(b.tempo);
            for (const auto& cmd :
                 {Command('{', b.count), Command('V', 1), Command('}'), Command('W', 1)}) {
                Add(0, cmd);
            }
            Start(rate);
            TickTo(10);
            EXPECT_EQ(seq->IsActive(0), b.playsOn) << b.tempo << " " << b.count << " " << rate;
        }
    }
    // A negative count with a note in it simply plays for ever.
    song = Song();
    for (const auto& cmd :
         {Command('{', -2), Command('#', 0, 2), Command('}'), Command('#', 2, 2)}) {
        Add(0, cmd);
    }
    Start();
    TickTo(1000);
    EXPECT_TRUE(seq->IsActive(0));
    EXPECT_EQ(seq->Part(0).freq, 618);
}

}  // namespace
