// Lookup tables: anchor values and the relations that define them.
#include <gtest/gtest.h>

#include <cmath>

#include "fm/SSG.h"
#include "fm/Tables.h"

namespace {

const FM::Tables& T() {
    return FM::Tables::Get();
}

TEST(FmTables, SineIsSymmetricLogAttenuationWithSignBit) {
    EXPECT_EQ(T().sine[0], 4276);
    EXPECT_EQ(T().sine[255], 2);
    EXPECT_EQ(T().sine[256], 2);
    for (int i = 0; i < 512; ++i) {
        EXPECT_EQ(T().sine[i], T().sine[511 - i]) << i;      // |sin| is symmetric in a half-wave
        EXPECT_EQ(T().sine[i + 512], T().sine[i] + 1) << i;  // negative half: sign bit set
        EXPECT_EQ(T().sine[i] & 1, 0) << i;
    }
}

TEST(FmTables, LevelHalvesEveryOctaveAndEndsInSilence) {
    EXPECT_EQ(T().level[0], 8192);
    EXPECT_EQ(T().level[1], -8192);
    EXPECT_EQ(T().level[2], 8168);
    EXPECT_EQ(T().level[512], 4096);
    EXPECT_EQ(T().level[6656], 1);
    EXPECT_EQ(T().level[6657], -1);
    for (int j = 6658; j < FM::Tables::kLevelPaddedSize; ++j) ASSERT_EQ(T().level[j], 0) << j;
    for (int j = 512; j < FM::Tables::kLevelSize; ++j)
        ASSERT_EQ(T().level[j], T().level[j - 512] / 2);
    for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(T().level[2 * i] % 4, 0) << i;
        EXPECT_EQ(T().level[2 * i + 1], -T().level[2 * i]) << i;
        // Within 2 of the exact amplitude 2^(13 - i/256).
        EXPECT_NEAR(T().level[2 * i], std::exp2(13.0 - i / 256.0), 2.0) << i;
    }
    EXPECT_EQ(T().Level(8191), 0);
    EXPECT_EQ(T().Level(8192), 0);
    EXPECT_EQ(T().Level(0xFFFFFFFFu), 0);
}

TEST(FmTables, KeyCodeAndDetune) {
    struct Case {
        int index, keyCode;
    };
    // index = block × 16 + top four F-number bits
    for (Case c : {Case{0, 0}, {6, 0}, {7, 1}, {8, 2}, {9, 3}, {15, 3}, {16 + 7, 5}, {127, 31}}) {
        EXPECT_EQ(T().keyCode[c.index], c.keyCode) << c.index;
    }
    for (int kc = 0; kc < 32; ++kc) {
        EXPECT_EQ(T().detune[kc], 0);
        EXPECT_EQ(T().detune[4 * 32 + kc], 0);
        for (int d = 1; d <= 3; ++d) {
            EXPECT_EQ(T().detune[(d + 4) * 32 + kc], -T().detune[d * 32 + kc]);
            if (kc > 0) {
                EXPECT_GE(T().detune[d * 32 + kc], T().detune[d * 32 + kc - 1]);
            }
        }
    }
    EXPECT_EQ(T().detune[1 * 32 + 31], 16);
    EXPECT_EQ(T().detune[2 * 32 + 0], 2);
    EXPECT_EQ(T().detune[3 * 32 + 26], 38);
}

TEST(FmTables, EnvelopeStepPatterns) {
    const int8_t kRow49[8] = {2, 1, 1, 1, 2, 1, 1, 1};
    const int8_t kRow59[8] = {8, 8, 8, 4, 8, 8, 8, 4};
    const int8_t kRowX[8] = {1, 1, 1, 0, 1, 0, 1, 0};
    for (int c = 0; c < 8; ++c) {
        EXPECT_EQ(T().decayStep[0][c], 0);
        EXPECT_EQ(T().decayStep[5][c], 1);
        EXPECT_EQ(T().decayStep[49][c], kRow49[c]);
        EXPECT_EQ(T().decayStep[59][c], kRow59[c]);
        EXPECT_EQ(T().decayStep[9][c], kRowX[c]);
        EXPECT_EQ(T().decayStep[45][c], kRowX[c]);
        EXPECT_EQ(T().decayStep[63][c], 16);
        EXPECT_EQ(T().decayStep[6][c], T().decayStep[10][c]);  // rows 6-7 use pattern Y
    }
    // The attack shift is 4 - log2(decay step), -1 where the decay step is 0.
    for (int r = 0; r < 64; ++r) {
        for (int c = 0; c < 8; ++c) {
            int d = T().decayStep[r][c];
            int a = T().attackShift[r][c];
            if (d == 0) {
                EXPECT_EQ(a, -1);
            } else {
                EXPECT_EQ(1 << (4 - a), d) << r << "," << c;
            }
        }
    }
}

TEST(SsgTables, LevelsEnvelopeShapesAndNoise) {
    FM::SSG ssg;  // builds the tables at 0 dB
    const int32_t kFixed[16] = {0,   42,  60,  85,   120,  170,  241,  341,
                                482, 682, 965, 1365, 1930, 2730, 3861, 5461};
    for (int l = 0; l < 16; ++l) EXPECT_EQ(ssg.LevelTable(2 * l + 1), kFixed[l]) << l;
    EXPECT_EQ(ssg.LevelTable(0), 0);
    EXPECT_EQ(ssg.LevelTable(1), 0);
    for (int i = 3; i < 32; ++i) EXPECT_GT(ssg.LevelTable(i), ssg.LevelTable(i - 1));

    const int32_t top = ssg.LevelTable(31);
    for (int i = 0; i < 32; ++i) {
        const int32_t falling = ssg.LevelTable(31 - i), rising = ssg.LevelTable(i);
        EXPECT_EQ(ssg.EnvelopeTable(8, i), falling);
        EXPECT_EQ(ssg.EnvelopeTable(8, 32 + i), falling);
        EXPECT_EQ(ssg.EnvelopeTable(9, 32 + i), 0);
        EXPECT_EQ(ssg.EnvelopeTable(10, 32 + i), rising);
        EXPECT_EQ(ssg.EnvelopeTable(11, 32 + i), top);
        EXPECT_EQ(ssg.EnvelopeTable(13, 32 + i), top);
        EXPECT_EQ(ssg.EnvelopeTable(14, 32 + i), falling);
        for (int s = 0; s < 4; ++s) EXPECT_EQ(ssg.EnvelopeTable(s, i), falling);
        for (int s = 4; s < 8; ++s) EXPECT_EQ(ssg.EnvelopeTable(s, i), rising);
        EXPECT_EQ(ssg.EnvelopeTable(15, i), rising);
    }

    EXPECT_EQ(FM::SSG::NoiseTable(0), 0x8FEC582Eu);
    EXPECT_EQ(FM::SSG::NoiseTable(1), 0x9C4A76B1u);
    EXPECT_EQ(FM::SSG::NoiseTable(2), 0xD63B476Bu);
    EXPECT_EQ(FM::SSG::NoiseTable(3), 0x2D63CC76u);
}

TEST(SsgTables, VolumeRescalesItsOwnTablesAndExtremeGainsStayBounded) {
    FM::SSG ssg;
    ssg.SetVolume(-40);                  // -20 dB
    EXPECT_EQ(ssg.LevelTable(31), 546);  // trunc(16384 / 3 / 10)
    const FM::SSG other;                 // constructed at 0 dB, after the change
    EXPECT_EQ(other.LevelTable(31), 5461);
    EXPECT_EQ(ssg.LevelTable(31), 546);
    ssg.SetVolume(1000000);
    EXPECT_EQ(ssg.LevelTable(31), (1 << 27) - 1);
    ssg.SetVolume(-1000000);
    EXPECT_EQ(ssg.LevelTable(31), 0);
    ssg.SetVolume(0);
    EXPECT_EQ(ssg.LevelTable(31), 5461);
}

}  // namespace
