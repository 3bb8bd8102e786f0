#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "SequencerRig.h"

namespace {

class EffectsTest : public ::testing::Test, public SequencerRig {
  protected:
    // SSG level written in each of `ticks` ticks on channel `ch`.
    std::vector<int> SSGLevels(int ch, int ticks) {
        std::vector<int> levels;
        for (int t = 0; t < ticks; ++t) {
            Tick();
            levels.push_back(SSGLevel(ch).value_or(-1));
        }
        return levels;
    }
};

std::vector<int> Runs(std::initializer_list<std::pair<int, int>> runs) {
    std::vector<int> v;
    for (auto [count, value] : runs) v.insert(v.end(), count, value);
    return v;
}

TEST_F(EffectsTest, TremoloAlternatesFullAndLoweredRunsAfterItsDelay) {
    Add(3, Command('U', 3, 4, 8));
    Add(3, Command('#', 0, 64));
    Add(4, Command('U', 3, 0, 0));  // no half-period: no tremolo
    Add(4, Command('#', 0, 64));
    Add(5, Command('U', 20, 1, 0));  // deeper than the volume: held at 0
    Add(5, Command('#', 0, 64));
    Start();
    std::vector<int> a, b, c;
    for (int t = 0; t < 24; ++t) {
        Tick();
        a.push_back(*SSGLevel(0));
        b.push_back(*SSGLevel(1));
        c.push_back(*SSGLevel(2));
    }
    EXPECT_EQ(a, Runs({{12, 15}, {4, 12}, {4, 15}, {4, 12}}));
    EXPECT_EQ(b, Runs({{24, 15}}));
    EXPECT_EQ(c, Runs({{1, 15}, {1, 0}, {1, 15}, {1, 0}, {1, 15}, {1, 0}, {1, 15}, {1, 0},
                       {1, 15}, {1, 0}, {1, 15}, {1, 0}, {1, 15}, {1, 0}, {1, 15}, {1, 0},
                       {1, 15}, {1, 0}, {1, 15}, {1, 0}, {1, 15}, {1, 0}, {1, 15}, {1, 0}}));
}

TEST_F(EffectsTest, SoftwareEnvelopeStepsThroughItsLevelsAndHoldsTheLast) {
    song.SetSSGEnvelope(1, SSGEnvelope{4, {15, 13, 11}});
    song.SetSSGEnvelope(2, SSGEnvelope{0, {12, 5}});   // no step length: first level
    song.SetSSGEnvelope(3, SSGEnvelope{-7, {10, 5}});  // likewise
    Add(3, Command('@', 1));
    Add(3, Command('#', 0, 64));
    Add(4, Command('@', 2));
    Add(4, Command('#', 0, 64));
    Add(5, Command('V', 12));
    Add(5, Command('@', 3));
    Add(5, Command('#', 0, 64));
    Start();
    std::vector<int> a, b, c;
    for (int t = 0; t < 16; ++t) {
        Tick();
        a.push_back(*SSGLevel(0));
        b.push_back(*SSGLevel(1));
        c.push_back(*SSGLevel(2));
    }
    EXPECT_EQ(a, Runs({{4, 15}, {4, 13}, {8, 11}}));
    EXPECT_EQ(b, Runs({{16, 12}}));
    EXPECT_EQ(c, Runs({{16, 7}}));
}

TEST_F(EffectsTest, EnvelopeOfATiedNoteContinuesAndAnUndefinedOneChangesNothing) {
    song.SetSSGEnvelope(1, SSGEnvelope{4, {15, 13, 11}});
    Add(3, Command('@', 1));
    Add(3, Command('#', 0, 6));
    Add(3, Command('&'));
    Add(3, Command('#', 4, 6));
    Add(3, Command('#', 7, 6));  // untied: starts the envelope again
    Add(4, Command('V', 9));
    Add(4, Command('@', 42));
    Add(4, Command('#', 0, 64));
    Start();
    EXPECT_EQ(SSGLevels(0, 16), Runs({{4, 15}, {4, 13}, {4, 11}, {4, 15}}));
    EXPECT_EQ(SSGLevel(1), 9);
}

TEST_F(EffectsTest, HardwareEnvelopeCommandsTurnTheSoftwareEnvelopeOff) {
    song.SetSSGEnvelope(1, SSGEnvelope{1, {15, 3}});
    Add(3, Command('@', 1));
    Add(3, Command('#', 0, 2));
    Add(3, Command('S', 10));
    Add(3, Command('#', 0, 4));
    Start();
    Tick();
    Tick();
    EXPECT_EQ(SSGLevel(0), 3);
    Tick();  // tick 2: "S" sets envelope mode, the software envelope stops
    EXPECT_EQ(log.Last(0x0D), 10u);
    EXPECT_EQ(log.Last(8), 0x1Fu);
    Tick();
    EXPECT_EQ(log.Last(8), 0x1Fu);
}

TEST_F(EffectsTest, FMPortamentoGlidesLinearlyInFrequencyAcrossOctaves) {
    Add(0, Command('#', 9, 16));  // A, octave 4: 1040
    Add(0, Command('P', 8));
    Add(0, Command('>'));
    Add(0, Command('#', 0, 16));  // C, octave 5: 618
    Start();
    TickTo(16);
    Tick();  // e = 0: the start pitch, written after the note's own
    EXPECT_EQ(FMPitch(0), (BlockFnum{4, 1040}));
    TickTo(20);
    Tick();  // e = 4: halfway between 16 * 1040 and 32 * 618, at block 0, normalised
    EXPECT_EQ(FMPitch(0), (BlockFnum{4, (16 * 1040 + 32 * 618) / 2 / 16}));
    TickTo(24);
    Tick();  // e = 8: 19776 = 1236 at block 4
    EXPECT_EQ(FMPitch(0), (BlockFnum{4, 1236}));
    Tick();  // e = 9: the glide is over, nothing more is written
    EXPECT_FALSE(FMPitch(0).has_value());
}

TEST_F(EffectsTest, SSGPortamentoGlidesInPeriodAndTheFirstNoteStartsFromItself) {
    Add(3, Command('P', 4));
    Add(3, Command('#', 9, 8));  // period 284; no earlier note: glides from itself
    Add(3, Command('#', 0, 8));  // period 477
    Start();
    std::vector<int> periods;
    for (int t = 0; t < 14; ++t) {
        Tick();
        periods.push_back(SSGPeriod(0).value_or(-1));
    }
    // 284 + 193 * e / 4, rounded: 284, 332.25, 380.5, 428.75, 477.
    EXPECT_EQ(periods,
              (std::vector<int>{284, 284, 284, 284, 284, -1, -1, -1, 284, 332, 381, 429, 477, -1}));
}

TEST_F(EffectsTest, VibratoIsASquareWaveAroundTheNoteAfterItsDelay) {
    Add(0, Command('I', 255, 2, 1));
    Add(0, Command('#', 9, 32));    // 1040
    Add(3, Command('I', 0, 3, 0));  // depth 0: the pitch is rewritten unchanged
    Add(3, Command('#', 9, 32));
    Start();
    std::vector<int> fm, ssg;
    for (int t = 0; t < 8; ++t) {
        Tick();
        fm.push_back(FMPitch(0) ? FMPitch(0)->fnum : -1);
        ssg.push_back(SSGPeriod(0).value_or(-1));
        EXPECT_EQ(log.Count(0xA4), 1);
    }
    // One semitone up is 1040 * 2^(1/12) = 1101.84, down 981.63.
    EXPECT_EQ(fm, (std::vector<int>{1040, 1102, 1102, 982, 982, 1102, 1102, 982}));
    EXPECT_EQ(ssg, std::vector<int>(8, 284));
}

TEST_F(EffectsTest, EachOfPortamentoVibratoAndTremoloSwitchesTheOthersOff) {
    Add(0, Command('U', 2, 2, 0));
    Add(0, Command('I', 10, 2, 0));
    Add(0, Command('W', 1));
    Add(0, Command('P', 3));
    Add(0, Command('W', 1));
    Add(0, Command('U', 1, 1, 0));
    Add(0, Command('W', 1));
    Start();
    Tick();
    EXPECT_EQ(seq->Part(0).tremPeriod, 0);
    EXPECT_EQ(seq->Part(0).vibPeriod, 2);
    Tick();
    EXPECT_EQ(seq->Part(0).vibPeriod, 0);
    EXPECT_EQ(seq->Part(0).portaLength, 3);
    Tick();
    EXPECT_EQ(seq->Part(0).portaLength, 0);
    EXPECT_EQ(seq->Part(0).tremPeriod, 1);
    EXPECT_EQ(seq->Part(0).vibDepth, 10);  // depths stay
}

// Extreme arguments must neither overflow nor leave the registers' ranges;
// the sanitizer build checks the arithmetic on the way.
TEST_F(EffectsTest, ExtremeArgumentsStayInRange) {
    const int32_t big = INT32_MAX;
    const int32_t small = INT32_MIN;
    song.SetSSGEnvelope(7, SSGEnvelope{big, {0, 15}});
    song.SetSSGEnvelope(8, SSGEnvelope{1, {}});
    for (int part : {0, 2, 3, 5}) {
        Add(part, Command('N', part % 2 ? small : big));
        Add(part, Command('Q', big));
        Add(part, Command('I', small, 1, 0));
        Add(part, Command('#', 12, 3));
        Add(part, Command('I', big, 1, 0));
        Add(part, Command('#', -1, 3));
        Add(part, Command('U', small, 1, 0));
        Add(part, Command('#', 0, 2));
        Add(part, Command('U', big, 1, 0));
        Add(part, Command('O', 8));
        Add(part, Command('P', big));
        Add(part, Command('#', 12, 2));
        Add(part, Command('O', 1));
        Add(part, Command('#', -1, 2));
        Add(part, Command('@', part == 3 ? 8 : 7));
        Add(part, Command('V', small));
        Add(part, Command('#', 0, big));
    }
    Add(4, Command('M', big));
    Add(4, Command('S', small));
    Add(4, Command('Y', big, small));
    Add(4, Command('#', 0, big));
    Start();
    for (int t = 0; t < 40; ++t) {
        Tick();
        for (const auto& w : log.writes) {
            if (w.addr >= 0x100) continue;  // the raw write to no register
            EXPECT_LE(w.data, 0xFFu);
            const bool high =
                (w.addr >= 0xA4 && w.addr <= 0xA6) || (w.addr >= 0xAC && w.addr <= 0xAE);
            if (high) {
                EXPECT_LE(w.data, 0x3Fu) << std::hex << w.addr;  // block <= 7, fnum < 2048
            }
        }
    }
    EXPECT_TRUE(seq->IsActive(0));
    EXPECT_EQ(seq->Part(0).nextEvent, 12 + int64_t{big});
}

}  // namespace
