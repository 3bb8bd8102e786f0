#include <gtest/gtest.h>

#include "SequencerRig.h"
#include "sequencer/FMController.h"
#include "sequencer/SSGController.h"

namespace {

class ControllerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        chip.Init(Sequencer::kChipClock, 44100);
        chip.SetReg(0x27, 0x40);
        chip.SetRegisterObserver(&log);
    }

    static FMVoice VoiceWithLevels(uint8_t fbAlg, uint8_t tl1, uint8_t tl2, uint8_t tl3,
                                   uint8_t tl4) {
        FMVoice v;
        v.fbAlg = fbAlg;
        v.op[0].tl = tl1;
        v.op[1].tl = tl2;
        v.op[2].tl = tl3;
        v.op[3].tl = tl4;
        return v;
    }

    FM::OPN chip;
    RegisterLog log;
    FMController fm{&chip};
    SSGController ssg{&chip};
};

TEST_F(ControllerTest, VoiceWritesEveryOperatorInChipSlotOrderThenTheCarrierLevels) {
    FMVoice v;
    v.fbAlg = 0x3C;  // feedback 7, connection 4
    for (int i = 0; i < 4; ++i) {
        const auto base = static_cast<uint8_t>(0x10 * (i + 1));
        v.op[i] = {static_cast<uint8_t>(base + 1),
                   static_cast<uint8_t>(base + 2),
                   static_cast<uint8_t>(base + 3),
                   static_cast<uint8_t>(base + 4),
                   static_cast<uint8_t>(base + 5),
                   static_cast<uint8_t>(base + 6),
                   0};
    }
    fm.SetVoice(1, v);
    ASSERT_EQ(log.writes.size(), 1u + 24u + 2u);
    EXPECT_EQ(log.writes[0], (RegWrite{0xB1, 0x3C}));
    // op1 at +0, op2 at +8, op3 at +4, op4 at +12; six registers each.
    const uint32_t offsets[4] = {0, 8, 4, 12};
    for (int i = 0; i < 4; ++i) {
        for (int r = 0; r < 6; ++r) {
            const RegWrite& w = log.writes[1 + i * 6 + r];
            EXPECT_EQ(w.addr, 0x31u + 0x10 * r + offsets[i]) << "op " << i << " reg " << r;
            EXPECT_EQ(w.data, 0x10u * (i + 1) + r + 1);
        }
    }
    // Connection 4: op2 and op4 are carriers, rewritten at volume 15 (unchanged).
    EXPECT_EQ(log.writes[25], (RegWrite{0x49, 0x22}));
    EXPECT_EQ(log.writes[26], (RegWrite{0x4D, 0x42}));
}

TEST_F(ControllerTest, VolumeLowersOnlyTheCarriersOfTheConnection) {
    struct Case {
        uint8_t connection;
        std::vector<RegWrite> expected;  // volume 12: carriers + 12
    };
    const Case cases[] = {
        {0, {{0x4C, 62}}},
        {3, {{0x4C, 62}}},
        {4, {{0x48, 42}, {0x4C, 62}}},
        {5, {{0x48, 42}, {0x44, 52}, {0x4C, 62}}},
        {7, {{0x40, 32}, {0x48, 42}, {0x44, 52}, {0x4C, 62}}},
    };
    for (const auto& c : cases) {
        fm.SetVoice(0, VoiceWithLevels(c.connection, 20, 30, 40, 50));
        log.writes.clear();
        fm.SetVolume(0, 12);
        EXPECT_EQ(log.writes, c.expected) << "connection " << int(c.connection);
    }
}

TEST_F(ControllerTest, QuietVolumeOnALoudLevelStaysAtTheRegisterLimit) {
    // 120 + 4 * 15 would wrap in the 7-bit register and sound loud.
    fm.SetVoice(2, VoiceWithLevels(0, 0, 0, 0, 120));
    log.writes.clear();
    fm.SetVolume(2, 0);
    EXPECT_EQ(log.writes, (std::vector<RegWrite>{{0x4E, 127}}));
    fm.SetVolume(2, 14);
    EXPECT_EQ(log.Last(0x4E), 124u);
}

TEST_F(ControllerTest, BlockAndFnumAreNormalisedHighRegisterFirst) {
    fm.SetFrequency(1, 4, 2472);
    EXPECT_EQ(log.writes, (std::vector<RegWrite>{{0xA5, 0x2C}, {0xA1, 0xD4}}));

    struct Case {
        int32_t block, fnum;
        uint32_t high, low;
    };
    const Case cases[] = {
        {4, 1040, (4 << 3) | 4, 0x10},
        {0, 2047, (0 << 3) | 7, 0xFF},
        {0, 19776, (4 << 3) | 4, 0xD4},  // 19776 = 1236 * 16
        {8, 1040, (7 << 3) | 4, 0x10},   // octave 8 sounds as 7
        {6, 8000, (7 << 3) | 7, 0xD0},   // 8000 / 4 = 2000 at block 8 -> 7
        {0, 0, 0, 0},
        {7, 2147483647, (7 << 3) | 7, 0xFF},
    };
    for (const auto& c : cases) {
        log.writes.clear();
        fm.SetFrequency(0, c.block, c.fnum);
        EXPECT_EQ(log.writes, (std::vector<RegWrite>{{0xA4, c.high}, {0xA0, c.low}}))
            << c.block << " " << c.fnum;
    }
}

TEST_F(ControllerTest, ChannelThreeWritesOneFrequencyPerOperatorAtItsRatio) {
    FMVoice v;
    v.op[0].ratio = 1;  // 1.41421356
    v.op[1].ratio = 3;  // 1.7320508
    v.op[2].ratio = 0;
    v.op[3].ratio = 2;  // 1.581
    fm.SetVoice(2, v);
    log.writes.clear();
    fm.SetFrequency(2, 4, 1000);
    const std::vector<RegWrite> expected = {
        {0xAD, (4 << 3) | (1414 >> 8)}, {0xA9, 1414 & 0xFF},  // op1
        {0xAE, (4 << 3) | (1732 >> 8)}, {0xAA, 1732 & 0xFF},  // op2
        {0xAC, (4 << 3) | (1000 >> 8)}, {0xA8, 1000 & 0xFF},  // op3
        {0xA6, (4 << 3) | (1581 >> 8)}, {0xA2, 1581 & 0xFF},  // op4
    };
    EXPECT_EQ(log.writes, expected);

    // A ratio that lifts the F-number past 11 bits raises that operator's block.
    log.writes.clear();
    fm.SetFrequency(2, 4, 1500);  // op2: 2598 -> 1299 at block 5
    EXPECT_EQ(log.Last(0xAE), (5u << 3) | (1299 >> 8));
    EXPECT_EQ(log.Last(0xAA), 1299u & 0xFF);
}

TEST_F(ControllerTest, FMKeysAllFourOperators) {
    fm.KeyOnOff(2, true);
    fm.KeyOnOff(2, false);
    fm.KeyOnOff(3, true);  // no such channel
    EXPECT_EQ(log.writes, (std::vector<RegWrite>{{0x28, 0xF2}, {0x28, 0x02}}));
}

TEST_F(ControllerTest, SSGMixerEnablesToneOfKeyedChannelsOnly) {
    ssg.KeyOnOff(0, true);
    EXPECT_EQ(log.Last(0x07), 0xBEu);
    ssg.KeyOnOff(2, true);
    EXPECT_EQ(log.Last(0x07), 0xBAu);
    ssg.KeyOnOff(0, false);
    ssg.KeyOnOff(2, false);
    EXPECT_EQ(log.Last(0x07), 0xBFu);
}

TEST_F(ControllerTest, SSGToneIsCutToTwelveBits) {
    ssg.SetTone(1, 4043);
    EXPECT_EQ(log.writes, (std::vector<RegWrite>{{2, 0xCB}, {3, 0x0F}}));
    log.writes.clear();
    ssg.SetTone(0, 4096);
    EXPECT_EQ(log.writes, (std::vector<RegWrite>{{0, 0}, {1, 0}}));
}

TEST_F(ControllerTest, SSGEnvelopeModeStaysInTheLevelRegister) {
    ssg.SetVolume(1, 3);
    EXPECT_EQ(log.Last(9), 0x03u);
    ssg.SetEnvelopeMode(1, true);
    EXPECT_EQ(log.Last(9), 0x13u);  // rewritten at once with the stored volume
    ssg.SetVolume(1, 7);
    EXPECT_EQ(log.Last(9), 0x17u);
    ssg.SetVolume(0, 7);
    EXPECT_EQ(log.Last(8), 0x07u);

    log.writes.clear();
    ssg.SetEnvelopePeriod(0x1234);
    ssg.SetEnvelopeShape(14);
    EXPECT_EQ(log.writes, (std::vector<RegWrite>{{0x0B, 0x34}, {0x0C, 0x12}, {0x0D, 14}}));
}

}  // namespace
