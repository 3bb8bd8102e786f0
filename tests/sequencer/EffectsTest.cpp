#include <gtest/gtest.h>

#include <climits>
#include <initializer_list>
#include <vector>

#include "SequencerRig.h"

using song::Command;
using song::SSGEnvelope;

namespace {

class EffectsTest : public ::testing::Test, public SequencerRig {
  protected:
    // What `read` returns after each of `ticks` ticks.
    template <typename Read>
    std::vector<int> Timeline(int ticks, Read read) {
        std::vector<int> v;
        for (int t = 0; t < ticks; ++t) {
            Tick();
            v.push_back(read());
        }
        return v;
    }
};

// Runs of equal values: {{count, value}, ...}.
std::vector<int> Runs(std::initializer_list<std::pair<int, int>> runs) {
    std::vector<int> v;
    for (auto [count, value] : runs) v.insert(v.end(), count, value);
    return v;
}

TEST_F(EffectsTest, TremoloAlternatesFullAndLoweredRuns) {
    Add(3, Command('U', 3, 4, 8));
    Add(3, Command('#', 0, 64));
    Add(4, Command('U', 3, 0, 0));  // no half-period: nothing happens
    Add(4, Command('#', 0, 64));
    Add(5, Command('U', 20, 2, 0));  // deeper than the volume: held at 0
    Add(5, Command('#', 0, 64));
    Start();
    std::vector<int> a, b, c;
    for (int t = 0; t < 24; ++t) {
        Tick();
        a.push_back(SSGLevel(0));
        b.push_back(SSGLevel(1));
        c.push_back(SSGLevel(2));
    }
    EXPECT_EQ(a, Runs({{12, 15}, {4, 12}, {4, 15}, {4, 12}}));
    EXPECT_EQ(b, Runs({{24, 15}}));
    EXPECT_EQ(c, Runs({{2, 15},
                       {2, 0},
                       {2, 15},
                       {2, 0},
                       {2, 15},
                       {2, 0},
                       {2, 15},
                       {2, 0},
                       {2, 15},
                       {2, 0},
                       {2, 15},
                       {2, 0}}));
}

TEST_F(EffectsTest, SoftwareEnvelopeFollowsTheNoteAcrossTies) {
    song.SetSSGEnvelope(1, SSGEnvelope{4, {15, 13, 11}});
    song.SetSSGEnvelope(2, SSGEnvelope{0, {12, 5}});  // no usable step length: first level
    Add(3, Command('@', 1));
    for (const auto& cmd : {Command('#', 0, 6), Command('&'), Command('#', 4, 6),
                            Command('#', 7, 6), Command('S', 10), Command('#', 0, 6)}) {
        Add(3, cmd);
    }
    Add(4, Command('V', 9));
    Add(4, Command('@', 2));
    Add(4, Command('#', 0, 64));
    Add(5, Command('V', 9));
    Add(5, Command('@', 42));  // never defined: the volume stays
    Add(5, Command('#', 0, 64));
    Start();
    std::vector<int> a, b, c;
    for (int t = 0; t < 20; ++t) {
        Tick();
        a.push_back(SSGLevel(0));
        b.push_back(SSGLevel(1));
        c.push_back(SSGLevel(2));
    }
    // The tied note (tick 6) continues the envelope; the untied one (12)
    // restarts it; "S" (18) switches to the hardware envelope (bit 4).
    EXPECT_EQ(a, Runs({{4, 15}, {4, 13}, {4, 11}, {4, 15}, {2, 13}, {2, 0x1F}}));
    EXPECT_EQ(b, Runs({{20, 6}}));
    EXPECT_EQ(c, Runs({{20, 9}}));
}

TEST_F(EffectsTest, NegativeStepLengthHoldsTheFirstLevelThenTheLast) {
    // e / stepLength is 0 while e is below the step length's magnitude, then
    // negative, which counts as past the end of the levels.
    song.SetSSGEnvelope(1, SSGEnvelope{-3, {15, 12, 8}});
    song.SetSSGEnvelope(2, SSGEnvelope{-1, {13, 15, 9}});
    song.SetSSGEnvelope(3, SSGEnvelope{INT32_MIN, {14, 2}});
    for (int part = 3; part < 6; ++part) {
        Add(part, Command('@', part - 2));
        Add(part, Command('#', 0, 64));
    }
    Start();
    std::vector<int> a, b, c;
    for (int t = 0; t < 8; ++t) {
        Tick();
        a.push_back(SSGLevel(0));
        b.push_back(SSGLevel(1));
        c.push_back(SSGLevel(2));
    }
    EXPECT_EQ(a, Runs({{3, 15}, {5, 8}}));
    EXPECT_EQ(b, Runs({{1, 13}, {7, 9}}));
    EXPECT_EQ(c, Runs({{8, 14}}));
}

TEST_F(EffectsTest, PortamentoGlidesLinearlyFromThePreviousNote) {
    Add(0, Command('#', 9, 16));  // A, octave 4: 1040
    Add(0, Command('P', 8));
    Add(0, Command('>'));
    Add(0, Command('#', 0, 16));  // C, octave 5: 618
    Add(3, Command('P', 4));
    Add(3, Command('#', 9, 8));  // 284; the first note glides from itself
    Add(3, Command('#', 0, 8));  // 477
    Start();
    std::vector<int> ssg;
    for (int t = 0; t < 14; ++t) {
        Tick();
        ssg.push_back(SSGPeriod(0));
    }
    // 284 + 193 * e / 4, rounded; nothing is written once the glide is over.
    EXPECT_EQ(ssg,
              (std::vector<int>{284, 284, 284, 284, 284, -1, -1, -1, 284, 332, 381, 429, 477, -1}));
    // FM glides between 16 * 1040 and 32 * 618 at block 0, normalised.
    TickTo(16);
    const auto fm = Timeline(10, [&] { return FMPitch(0); });
    EXPECT_EQ(fm[0], Pitch(4, 1040));  // written after the note's own pitch
    EXPECT_EQ(fm[4], Pitch(4, (16 * 1040 + 32 * 618) / 2 / 16));
    EXPECT_EQ(fm[8], Pitch(4, 1236));
    EXPECT_EQ(fm[9], -1);
}

TEST_F(EffectsTest, VibratoIsASquareWaveAroundTheNoteAfterItsDelay) {
    Add(0, Command('I', 255, 2, 1));
    Add(0, Command('#', 9, 32));    // 1040
    Add(3, Command('I', 0, 3, 0));  // depth 0: rewritten every tick, unchanged
    Add(3, Command('#', 9, 32));
    for (const Command& cmd : {Command('_', 12), Command('I', 255, 2, 1), Command('#', 9, 32)})
        Add(1, cmd);  // transposed an octave up: the vibrato stays in the note's octave
    Start();
    std::vector<int> ssg, blocks;
    const auto fm = Timeline(8, [&] {
        ssg.push_back(SSGPeriod(0));
        blocks.push_back(FMPitch(1) >> 11);
        return FMPitch(0) & 0x7FF;
    });
    // A semitone up is 1040 * 2^(1/12) = 1101.84, down 981.63.
    EXPECT_EQ(fm, (std::vector<int>{1040, 1102, 1102, 982, 982, 1102, 1102, 982}));
    EXPECT_EQ(ssg, std::vector<int>(8, 284));
    EXPECT_EQ(blocks, std::vector<int>(8, 5));
}

}  // namespace
