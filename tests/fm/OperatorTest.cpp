// FM operators and channels: envelope phases, SSG-type envelopes, the phase
// generator, the algorithms' evaluation order, and channels rendered together.
#include <gtest/gtest.h>

#include <vector>

#include "fm/Channel.h"
#include "fm/Operator.h"
#include "fm/RateContext.h"

namespace {

using FM::EnvelopePhase;

// A4-ish frequency word: block 4, F-number 0x269.
constexpr uint32_t kWord = (4 << 11) | 0x269;

class FmOperator : public ::testing::Test {
  protected:
    void SetUp() override {
        rate.SetRatio(161);  // 3993600 Hz chip at 44100 Hz
        op.SetRateContext(&rate);
        op.Reset();
        op.SetFrequency(kWord);
        op.SetTotalLevel(0, false);
        op.SetReleaseRate(2);
    }
    // Computes until the phase changes or `limit` samples pass; returns the samples used.
    int RunWhile(EnvelopePhase phase, int limit = 2000000) {
        int n = 0;
        while (op.Phase() == phase && n < limit) {
            op.Compute(0);
            ++n;
        }
        return n;
    }
    FM::RateContext rate;
    FM::Operator op;
};

TEST_F(FmOperator, AttackRateZeroNeverProgresses) {
    op.SetAttackRate(0);
    op.Refresh();
    op.KeyOn();
    EXPECT_EQ(op.Phase(), EnvelopePhase::Attack);
    for (int i = 0; i < 200000; ++i) ASSERT_EQ(op.Compute(0), 0);
    EXPECT_EQ(op.Phase(), EnvelopePhase::Attack);
    EXPECT_EQ(op.EnvelopeLevel(), 955);
    // Key-off during the attack releases even from a silent level.
    op.KeyOff();
    EXPECT_EQ(op.Phase(), EnvelopePhase::Release);
}

TEST_F(FmOperator, FastestAttackIsSkippedForEveryKeyScale) {
    struct Case {
        uint32_t keyScale, sustainLevel;
        EnvelopePhase phase;
    };
    for (Case c : {Case{0, 16, EnvelopePhase::Decay},
                   {3, 16, EnvelopePhase::Decay},
                   {1, 0, EnvelopePhase::Sustain},
                   {2, 0, EnvelopePhase::Sustain}}) {
        SetUp();
        op.SetKeyScale(c.keyScale);
        op.SetAttackRate(62);
        op.SetSustainLevel(c.sustainLevel);
        op.Refresh();
        op.KeyOn();
        EXPECT_EQ(op.Phase(), c.phase) << c.keyScale;
        EXPECT_EQ(op.EnvelopeLevel(), 0);
        EXPECT_EQ(op.EnvelopeOutput(), 0);
        op.KeyOff();  // a reset keeps the key down; release it for the next case
    }
}

TEST_F(FmOperator, EnvelopeRunsThroughItsPhasesInOrder) {
    op.SetAttackRate(40);
    op.SetDecayRate(40);
    op.SetSustainLevel(124);  // sustain-level code 15
    op.SetSustainRate(40);
    op.Refresh();
    op.KeyOn();
    RunWhile(EnvelopePhase::Attack);
    ASSERT_EQ(op.Phase(), EnvelopePhase::Decay);
    EXPECT_EQ(op.EnvelopeLevel(), 0);
    int32_t before = 0;
    while (op.Phase() == EnvelopePhase::Decay) {
        before = op.EnvelopeLevel();
        op.Compute(0);
    }
    ASSERT_EQ(op.Phase(), EnvelopePhase::Sustain);
    EXPECT_LT(before, 992);  // decay ends at 124 × 8
    EXPECT_GE(op.EnvelopeLevel(), 992);
    EXPECT_LT(op.EnvelopeLevel(), 1000);
    // Sustain decays to 1024 and the operator switches itself off.
    RunWhile(EnvelopePhase::Sustain);
    EXPECT_EQ(op.Phase(), EnvelopePhase::Off);
    EXPECT_EQ(op.EnvelopeLevel(), 955);
    EXPECT_EQ(op.Compute(0), 0);
}

TEST_F(FmOperator, KeyOffReleasesOrSwitchesOffByLevel) {
    op.SetAttackRate(62);
    op.SetSustainLevel(124);
    op.SetDecayRate(62);
    op.Refresh();
    op.KeyOn();
    RunWhile(EnvelopePhase::Decay);
    ASSERT_EQ(op.Phase(), EnvelopePhase::Sustain);  // level >= 992 > 955
    op.KeyOff();
    EXPECT_EQ(op.Phase(), EnvelopePhase::Off);

    SetUp();
    op.SetAttackRate(62);
    op.SetReleaseRate(62);
    op.Refresh();
    op.KeyOn();
    op.KeyOff();
    ASSERT_EQ(op.Phase(), EnvelopePhase::Release);
    RunWhile(EnvelopePhase::Release);
    EXPECT_EQ(op.Phase(), EnvelopePhase::Off);
    // A new key-on from Off restarts the phase counter.
    op.Compute(0);
    op.KeyOn();
    EXPECT_EQ(op.PhaseCounter(), 0u);
    EXPECT_EQ(op.Phase(), EnvelopePhase::Decay);
}

TEST_F(FmOperator, KeyOnUsesKeyScaleRateOfLastRefresh) {
    op.SetKeyScale(3);
    op.SetAttackRate(20);
    op.Refresh();                        // key code 16 (block 4, low F-number)
    op.SetFrequency((7 << 11) | 0x7FF);  // key code 31, not yet refreshed
    op.KeyOn();
    EXPECT_EQ(op.EnvelopeRate(), 20 + 16);
    op.Refresh();
    EXPECT_EQ(op.EnvelopeRate(), 20 + 31);
}

TEST_F(FmOperator, PhaseStepFollowsMultipleAndMuteKeepsRunning) {
    op.SetMultiple(1);
    op.Refresh();
    const uint32_t one = op.PhaseStep();
    EXPECT_EQ(one, (0x269u << 4) * 161 * 2);
    op.SetMultiple(0);
    op.Refresh();
    EXPECT_EQ(op.PhaseStep() * 2, one);

    op.SetAttackRate(62);
    op.SetMute(true);
    op.Refresh();
    op.KeyOn();
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(op.Compute(0), 0);
    EXPECT_EQ(op.PhaseCounter(), 1000 * op.PhaseStep());
    op.SetMute(false);
    op.Refresh();
    int32_t peak = 0;
    for (int i = 0; i < 1000; ++i) peak = std::max(peak, op.Compute(0));
    EXPECT_EQ(peak, 8168);  // full-scale output at total level 0
}

TEST_F(FmOperator, SsgTypeEnvelopeCyclesThroughAttacks) {
    op.SetSSGType(8);
    op.SetAttackRate(62);
    op.SetSustainRate(62);
    op.Refresh();
    op.KeyOn();
    std::vector<int32_t> cycles{op.SSGCycle()};
    for (int i = 0; i < 200000 && cycles.size() < 6; ++i) {
        op.Compute(0);
        if (op.SSGCycle() != cycles.back()) cycles.push_back(op.SSGCycle());
    }
    EXPECT_EQ(cycles, (std::vector<int32_t>{0, 1, 2, 1, 2, 1}));
    EXPECT_EQ(op.Phase(), EnvelopePhase::Sustain);
    EXPECT_LE(op.EnvelopeLevel(), 512 + 64);
}

TEST_F(FmOperator, SsgTypeSwitchedOnAfterKeyOnUsesFirstCycle) {
    op.SetAttackRate(20);
    op.Refresh();
    op.KeyOn();  // SSG-type off: the cycle stays at -1
    ASSERT_EQ(op.SSGCycle(), -1);
    op.SetSSGType(10);  // type 2, slow attack: cycle 0 is (offset 512, inverted)
    op.SetFrequency(kWord);
    op.Refresh();
    EXPECT_EQ(op.SSGOffset(), 512);
    EXPECT_EQ(op.SSGDirection(), -1);
    // 512 - 955 is below zero attenuation: it saturates at full volume.
    EXPECT_EQ(op.EnvelopeOutput(), 0);
    int32_t peak = 0;
    for (int i = 0; i < 1000; ++i) peak = std::max(peak, op.Compute(0));
    EXPECT_EQ(peak, 8168);
}

// Two channels that differ only in one operator's total level (0 or 127);
// the first sample where their outputs differ is how long that operator's
// output takes to reach the channel output.
int FirstDifference(uint32_t algorithm, int loudOperator) {
    FM::RateContext rate;
    rate.SetRatio(161);
    FM::Channel ch[2];
    for (int k = 0; k < 2; ++k) {
        ch[k].SetRateContext(&rate);
        ch[k].Reset();
        ch[k].SetConnection(algorithm);
        ch[k].SetFeedback(0);
        ch[k].SetFrequency(kWord);
        for (int n = 0; n < 4; ++n) {
            FM::Operator& op = ch[k].GetOperator(n);
            op.SetAttackRate(62);
            op.SetMultiple(n + 1);
            bool silent = (n == 0 && loudOperator != 0) || (n == loudOperator && k == 1);
            op.SetTotalLevel(silent ? 127 : 0, false);
        }
        ch[k].PrepareMix();
        ch[k].SetKeyMask(15);
    }
    for (int i = 0; i < 8; ++i) {
        if (ch[0].NextSample() != ch[1].NextSample()) return i;
    }
    return -1;
}

TEST(FmChannel, AlgorithmsDelayModulatorsByEvaluationOrder) {
    // Operator 1 runs last in every sample, so it reaches the output one
    // sample late, two in the serial algorithm 0 (via operators 2 and 3).
    // Operator 2 is a carrier or feeds operator 4 directly in algorithms 3-7;
    // in 0-2 it modulates operator 3, which reads it one sample late.
    struct Case {
        uint32_t algorithm;
        int op1, op2;
    };
    for (Case c : {Case{0, 2, 1},
                   {1, 1, 1},
                   {2, 1, 1},
                   {3, 1, 0},
                   {4, 1, 0},
                   {5, 1, 0},
                   {6, 1, 0},
                   {7, 1, 0}}) {
        EXPECT_EQ(FirstDifference(c.algorithm, 0), c.op1) << "algorithm " << c.algorithm;
        EXPECT_EQ(FirstDifference(c.algorithm, 1), c.op2) << "algorithm " << c.algorithm;
    }
}

TEST(FmChannel, ConnectionWriteClearsFeedbackHistory) {
    FM::RateContext rate;
    rate.SetRatio(161);
    FM::Channel ch;
    ch.SetRateContext(&rate);
    ch.Reset();
    ch.SetConnection(7);
    ch.SetFeedback(7);
    ch.SetFrequency(kWord);
    ch.GetOperator(0).SetAttackRate(62);
    ch.GetOperator(0).SetTotalLevel(0, false);
    ch.PrepareMix();
    ch.SetKeyMask(1);
    EXPECT_EQ(ch.PrepareMix(), 1u);
    for (int i = 0; i < 30; ++i) ch.NextSample();
    ASSERT_NE(ch.GetOperator(0).Output(), 0);
    ch.SetConnection(7);
    EXPECT_EQ(ch.GetOperator(0).Output(), 0);
    EXPECT_EQ(ch.GetOperator(0).PreviousOutput(), 0);
    // Feedback changes the waveform: restart the note with and without it.
    auto note = [&](uint32_t feedback) {
        ch.SetFeedback(feedback);
        ch.SetConnection(7);
        ch.SetKeyMask(0);
        ch.SetKeyMask(1);
        std::vector<int32_t> out;
        for (int i = 0; i < 64; ++i) out.push_back(ch.NextSample());
        return out;
    };
    const std::vector<int32_t> plain = note(0);
    EXPECT_EQ(note(0), plain);
    EXPECT_NE(note(7), plain);
    EXPECT_EQ(plain[0], 0);  // operator 1 is heard one sample late
}

// Channels rendered side by side cut their runs wherever any of their
// operators' envelopes steps; each channel alone cuts only at its own. Both
// must give the same samples, with envelopes stepping every few samples at
// unrelated times (fast decay and sustain rates, an SSG-type envelope) and
// renders of uneven lengths.
TEST(FmChannel, ChannelsRenderedTogetherMatchEachAlone) {
    FM::RateContext rate;
    rate.SetRatio(161);
    FM::Channel together[3], alone[3];
    for (FM::Channel* set : {together, alone}) {
        for (uint32_t c = 0; c < 3; ++c) {
            FM::Channel& ch = set[c];
            ch.SetRateContext(&rate);
            ch.Reset();
            ch.SetConnection(c * 3);  // algorithms 0, 3, 6
            ch.SetFeedback(c + 4);
            ch.SetFrequency(kWord + c * 0x800);
            for (int n = 0; n < 4; ++n) {
                FM::Operator& op = ch.GetOperator(n);
                op.SetMultiple(n + c + 1);
                op.SetTotalLevel(4 * n, false);
                op.SetAttackRate(40 + 6 * n);
                op.SetDecayRate(30 + 8 * n + 2 * c);
                op.SetSustainLevel(8 * n);
                op.SetSustainRate(20 + 10 * n);
                op.SetSSGType(n == 2 ? 10 : 0);
            }
            ch.PrepareMix();
            ch.SetKeyMask(15);
        }
    }
    FM::Channel* const channels[3] = {&together[0], &together[1], &together[2]};
    FM::OperatorSpans spans;
    for (int32_t length : {1, 7, 256, 3, 1000, 64}) {
        for (FM::Channel& ch : together) ch.PrepareMix();
        for (FM::Channel& ch : alone) ch.PrepareMix();
        std::vector<int32_t> sum(length, 0), expected(length, 0);
        FM::Channel::Render(channels, 3, sum.data(), length, spans);
        for (FM::Channel& ch : alone) ch.Render(expected.data(), length);
        ASSERT_EQ(sum, expected) << length;
    }
    for (int c = 0; c < 3; ++c) {
        for (int n = 0; n < 4; ++n) {
            EXPECT_EQ(together[c].GetOperator(n).EnvelopeLevel(),
                      alone[c].GetOperator(n).EnvelopeLevel());
        }
    }
}

}  // namespace
