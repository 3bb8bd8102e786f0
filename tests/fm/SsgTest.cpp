// The SSG section: fixed levels, tones, noise, the hardware envelope and its
// bulk advance, muting and clocking.
#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "fm/SSG.h"

namespace {

class Ssg : public ::testing::Test {
  protected:
    void SetUp() override { ssg.SetClock(998400, 44100); }
    // Mixes `frames` frames into a zeroed buffer; returns the left samples
    // after checking that both sides agree.
    std::vector<int32_t> Render(int frames) {
        std::vector<int16_t> buf(2 * frames, 0);
        ssg.Mix(buf.data(), frames);
        std::vector<int32_t> left;
        for (int i = 0; i < frames; ++i) {
            EXPECT_EQ(buf[2 * i], buf[2 * i + 1]);
            left.push_back(buf[2 * i]);
        }
        return left;
    }
    FM::SSG ssg;
};

TEST_F(Ssg, ResetStateAddsNothingAndFreezesCounters) {
    std::vector<int16_t> buf(200, 1234);
    ssg.Mix(buf.data(), 100);
    for (int16_t s : buf) ASSERT_EQ(s, 1234);
    EXPECT_EQ(ssg.ToneCounter(0), 0u);
    EXPECT_EQ(ssg.NoiseCounter(), 0u);
    EXPECT_EQ(ssg.EnvelopeCounter(), 0u);
}

TEST_F(Ssg, DisabledChannelsContributeMinusTheirFixedLevel) {
    struct Case {
        uint8_t a, b, c;
        int32_t expected;
    };
    for (Case k : {Case{15, 0, 0, -5461},
                   {0, 15, 0, -5461},
                   {15, 15, 15, -16383},
                   {15, 8, 0, -(5461 + 482)},
                   {1, 1, 0, -84}}) {
        ssg.SetReg(7, 0xFF);
        ssg.SetReg(8, k.a);
        ssg.SetReg(9, k.b);
        ssg.SetReg(10, k.c);
        for (int32_t v : Render(50)) ASSERT_EQ(v, k.expected) << int(k.a) << int(k.b) << int(k.c);
    }
}

TEST_F(Ssg, TonePeriodsTooShortForTheRateAreSilentSquares) {
    ssg.SetReg(7, 0x3E);  // tone A only
    ssg.SetReg(8, 15);
    for (uint8_t period = 1; period <= 5; ++period) {
        ssg.SetReg(0, period);
        for (int32_t v : Render(100)) ASSERT_EQ(v, -5461) << int(period);
    }
    ssg.SetReg(0, 6);
    std::set<int32_t> values;
    for (int32_t v : Render(100)) values.insert(v);
    EXPECT_LT(*values.begin(), 0);
    EXPECT_GT(*values.rbegin(), 0);
    // Period 0 plays as period 1; the period has 12 bits.
    ssg.SetReg(0, 1);
    const uint32_t one = ssg.ToneStep(0);
    ssg.SetReg(0, 0);
    EXPECT_EQ(ssg.ToneStep(0), one);
    ssg.SetReg(1, 0x10);  // bit 12 is not part of the period
    EXPECT_EQ(ssg.ToneStep(0), one);
}

TEST_F(Ssg, NoiseMixesRandomSigns) {
    ssg.SetReg(7, 0x37);  // noise on A only
    ssg.SetReg(8, 15);
    ssg.SetReg(6, 1);
    const std::set<int32_t> allowed{-5461, -2730, 0, 2730, 5461};
    std::set<int32_t> seen;
    for (int32_t v : Render(2000)) {
        ASSERT_TRUE(allowed.count(v)) << v;
        seen.insert(v);
    }
    EXPECT_TRUE(seen.count(-5461) && seen.count(5461));
    EXPECT_EQ(ssg.NoiseCounter(), 2000u * 4 * ssg.NoiseStep());
}

TEST_F(Ssg, NoiseStepIsHalvedByClockChangeUntilRewritten) {
    ssg.SetReg(6, 5);
    const uint32_t full = ssg.NoiseStep();
    ssg.SetClock(998400, 44100);
    EXPECT_EQ(ssg.NoiseStep(), full >> 1);
    ssg.SetReg(6, 5);
    EXPECT_EQ(ssg.NoiseStep(), full);
}

// Envelope on channel A with tone and noise off: the output is minus the
// envelope value, averaged over the frame.
struct Trend {
    int up = 0, down = 0;
    std::set<int32_t> values;
};

Trend EnvelopeTrend(FM::SSG& ssg, uint8_t shape, int warmup, int frames) {
    ssg.SetReg(7, 0xFF);
    ssg.SetReg(8, 0x10);
    ssg.SetReg(11, 16);
    ssg.SetReg(12, 0);
    ssg.SetReg(13, shape);
    std::vector<int16_t> buf(2 * (warmup + frames), 0);
    ssg.Mix(buf.data(), warmup + frames);
    Trend t;
    for (int i = warmup; i < warmup + frames; ++i) {
        int32_t magnitude = -buf[2 * i];
        t.values.insert(magnitude);
        if (i > warmup && magnitude > -buf[2 * i - 2]) ++t.up;
        if (i > warmup && magnitude < -buf[2 * i - 2]) ++t.down;
    }
    return t;
}

TEST_F(Ssg, EnvelopeShapesHoldRepeatOrAlternate) {
    Trend hold0 = EnvelopeTrend(ssg, 9, 800, 500);
    EXPECT_EQ(hold0.values, std::set<int32_t>{0});
    Trend holdTop = EnvelopeTrend(ssg, 11, 800, 500);
    EXPECT_EQ(holdTop.values, std::set<int32_t>{5461});
    Trend saw = EnvelopeTrend(ssg, 8, 200, 4000);
    EXPECT_GT(saw.down, 20 * saw.up);  // only the jump back up at each repeat
    EXPECT_GT(saw.up, 10);
    EXPECT_EQ(*saw.values.rbegin(), 5461);
    Trend triangle = EnvelopeTrend(ssg, 10, 200, 4000);
    EXPECT_GT(triangle.up, 500);
    EXPECT_GT(triangle.down, 500);
}

TEST_F(Ssg, EnvelopeRestartAndBulkAdvance) {
    EnvelopeTrend(ssg, 14, 0, 37);
    ASSERT_NE(ssg.EnvelopeCounter(), 0u);
    ssg.SetReg(13, 14);  // same shape: still restarts
    EXPECT_EQ(ssg.EnvelopeCounter(), 0u);

    // Without an envelope user the counter advances once per block by the
    // same amount the per-sub-step loop would, up to the dropped low bits.
    FM::SSG stepped, bulk;
    for (FM::SSG* s : {&stepped, &bulk}) {
        s->SetClock(998400, 44100);
        s->SetReg(11, 7);
        s->SetReg(13, 14);
        s->SetReg(7, 0xFF);
    }
    stepped.SetReg(8, 0x10);
    bulk.SetReg(8, 0x0F);
    for (int block : {1, 13, 100, 555}) {
        std::vector<int16_t> buf(2 * block);
        stepped.Mix(buf.data(), block);
        bulk.Mix(buf.data(), block);
        EXPECT_EQ(stepped.EnvelopeCounter() >> 16, bulk.EnvelopeCounter() >> 16) << block;
    }
    // A zero-frame mix still runs the bulk advance, which drops the low 8 bits.
    const uint32_t before = stepped.EnvelopeCounter();
    ASSERT_NE(before & 0xFF, 0u);
    stepped.SetReg(8, 0x0F);
    int16_t none[2] = {};
    stepped.Mix(none, 0);
    EXPECT_EQ(stepped.EnvelopeCounter(), before & ~0xFFu);
}

TEST_F(Ssg, MutedChannelIsSilentEvenWithEnvelope) {
    ssg.SetChannelMask(1);
    ssg.SetReg(7, 0xFF);
    ssg.SetReg(8, 0x10);
    ssg.SetReg(13, 11);
    for (int32_t v : Render(300)) ASSERT_EQ(v, 0);
    ssg.SetReg(8, 15);
    EXPECT_EQ(ssg.OutputLevel(0), 0);
    ssg.SetChannelMask(0);
    EXPECT_EQ(ssg.OutputLevel(0), 5461);
}

TEST_F(Ssg, MixSaturatesInsteadOfWrapping) {
    ssg.SetReg(7, 0xFF);
    ssg.SetReg(8, 15);
    std::vector<int16_t> buf(20, -30000);
    ssg.Mix(buf.data(), 10);
    for (int16_t s : buf) EXPECT_EQ(s, -32768);
}

TEST(SsgClock, AbsurdRatesDoNotOverflow) {
    FM::SSG ssg;
    ssg.SetClock(998400, 1);
    EXPECT_EQ(ssg.ToneStep(0), 0xFFFFFFFFu);
    ssg.SetClock(998400, 0);
    ssg.SetClock(-5, 44100);
    EXPECT_EQ(ssg.ToneStep(0), 0u);
}

}  // namespace
