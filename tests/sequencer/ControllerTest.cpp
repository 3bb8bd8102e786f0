#include <gtest/gtest.h>

#include <utility>

#include "SequencerRig.h"

using sequencer::FMController;
using sequencer::Sequencer;
using sequencer::SSGController;
using song::FMVoice;

namespace {

class ControllerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        chip.Init(song::kChipClock, 44100);
        chip.SetReg(0x27, 0x40);
        chip.SetRegisterObserver(&log);
    }
    // Writes since the last call.
    std::vector<RegWrite> Take() { return std::exchange(log.writes, {}); }

    FM::OPN chip;
    RegisterLog log;
    FMController fm{&chip};
    SSGController ssg{&chip};
};

TEST_F(ControllerTest, VoiceRegistersThenCarrierLevelsByConnection) {
    FMVoice v;
    for (int i = 0; i < 4; ++i) v.op[i] = {1, static_cast<uint8_t>(20 + 10 * i), 3, 4, 5, 6, 0};
    v.fbAlg = 0x3C;  // feedback 7, connection 4
    fm.SetVoice(1, v);
    const auto writes = Take();
    ASSERT_EQ(writes.size(), 1u + 24u + 2u);
    EXPECT_EQ(writes[0], (RegWrite{0xB1, 0x3C}));
    const uint32_t offset[4] = {0, 8, 4, 12};  // op1, op2, op3, op4 in the chip's slot order
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(writes[1 + 6 * i].addr, 0x31 + offset[i]);
        EXPECT_EQ(writes[2 + 6 * i], (RegWrite{0x41 + offset[i], 20u + 10 * i}));
        EXPECT_EQ(writes[6 + 6 * i], (RegWrite{0x81 + offset[i], 6}));
    }
    struct Case {
        uint8_t connection;
        std::vector<RegWrite> atVolume12;
    };
    const Case cases[] = {
        {3, {{0x4C, 62}}},
        {4, {{0x48, 42}, {0x4C, 62}}},
        {6, {{0x48, 42}, {0x44, 52}, {0x4C, 62}}},
        {7, {{0x40, 32}, {0x48, 42}, {0x44, 52}, {0x4C, 62}}},
    };
    for (const auto& c : cases) {
        v.fbAlg = c.connection;
        fm.SetVoice(0, v);
        Take();
        fm.SetVolume(0, 12);
        EXPECT_EQ(Take(), c.atVolume12) << int(c.connection);
    }
    // A loud carrier turned down must not wrap in the 7-bit register (120 + 60).
    v.op[3].tl = 120;
    v.fbAlg = 0;
    fm.SetVoice(2, v);
    fm.SetVolume(2, 0);
    EXPECT_EQ(log.Last(0x4E), 127u);
}

TEST_F(ControllerTest, PitchIsNormalisedIntoBlockAndElevenBits) {
    struct Case {
        int32_t block, fnum;
        uint32_t high, low;
    };
    const Case cases[] = {
        {4, 2472, 0x2C, 0xD4},        // one halving: block 5, 1236
        {0, 19776, 0x24, 0xD4},       // 1236 at block 4
        {8, 1040, 0x3C, 0x10},        // octave 8 sounds as block 7
        {7, 2147483647, 0x3F, 0xFF},  // far too high: held at the top
        {0, 0, 0x00, 0x00},
    };
    for (const auto& c : cases) {
        fm.SetFrequency(1, c.block, c.fnum);
        EXPECT_EQ(Take(), (std::vector<RegWrite>{{0xA5, c.high}, {0xA1, c.low}})) << c.fnum;
    }
    // Channel 3: one pair per operator at its ratio, truncated.
    FMVoice v;
    v.op[0].ratio = 1;  // 1.41421356
    v.op[1].ratio = 3;  // 1.7320508
    v.op[3].ratio = 2;  // 1.581
    fm.SetVoice(2, v);
    Take();
    fm.SetFrequency(2, 4, 1000);
    EXPECT_EQ(Take(), (std::vector<RegWrite>{{0xAD, 0x25},
                                             {0xA9, 1414 & 0xFF},
                                             {0xAE, 0x26},
                                             {0xAA, 1732 & 0xFF},
                                             {0xAC, 0x23},
                                             {0xA8, 1000 & 0xFF},
                                             {0xA6, 0x26},
                                             {0xA2, 1581 & 0xFF}}));
    fm.KeyOnOff(2, true);
    fm.KeyOnOff(2, false);
    EXPECT_EQ(Take(), (std::vector<RegWrite>{{0x28, 0xF2}, {0x28, 0x02}}));
}

TEST_F(ControllerTest, SSGMixerToneAndEnvelopeMode) {
    ssg.KeyOnOff(0, true);
    EXPECT_EQ(log.Last(7), 0xBEu);
    ssg.KeyOnOff(2, true);
    EXPECT_EQ(log.Last(7), 0xBAu);
    ssg.KeyOnOff(0, false);
    ssg.KeyOnOff(2, false);
    EXPECT_EQ(log.Last(7), 0xBFu);
    Take();
    ssg.SetTone(1, 4043);
    ssg.SetTone(0, 4096);  // cut to 12 bits
    EXPECT_EQ(Take(), (std::vector<RegWrite>{{2, 0xCB}, {3, 0x0F}, {0, 0}, {1, 0}}));
    ssg.SetVolume(1, 3);
    ssg.SetEnvelopeMode(1, true);  // rewrites the level with the mode bit
    ssg.SetVolume(1, 7);
    ssg.SetVolume(0, 7);
    ssg.SetEnvelopePeriod(0x1234);
    EXPECT_EQ(Take(), (std::vector<RegWrite>{
                          {9, 0x03}, {9, 0x13}, {9, 0x17}, {8, 0x07}, {0x0B, 0x34}, {0x0C, 0x12}}));

    // Keyed on, a channel sounds what its mix asks for; keyed off, nothing.
    ssg.SetMix(1, 2);  // noise
    ssg.SetMix(2, 3);  // tone and noise
    ssg.KeyOnOff(1, true);
    ssg.KeyOnOff(2, true);
    EXPECT_EQ(log.Last(7), 0x8Bu);
    ssg.KeyOnOff(2, false);
    EXPECT_EQ(log.Last(7), 0xAFu);
    // With neither, the level is the sound: 0 while keyed off, whatever 'v' says.
    ssg.SetMix(0, 0);
    ssg.KeyOnOff(0, true);
    ssg.SetVolume(0, 9);
    ssg.KeyOnOff(0, false);
    ssg.SetVolume(0, 11);
    ssg.KeyOnOff(0, true);
    EXPECT_EQ(log.ValuesOf(8), (std::vector<uint32_t>{0x00, 0x07, 0x09, 0x00, 0x00, 0x0B}));
    EXPECT_EQ(log.Last(7), 0xAFu);
    ssg.SetNoisePeriod(37);
    EXPECT_EQ(log.Last(6), 5u);
}

}  // namespace
