#include "fm/Tables.h"

#include <cmath>

namespace FM {
namespace {

constexpr double kPi = 3.141592653589793;

// Log-sine over one period. For the first half-wave, i = 0..511:
//   s = round(-256 × log2(sin((2i + 1) × pi / 1024))) + 1
// i.e. the attenuation of |sin| sampled at the centre of each step, in 1/256
// octave, offset by 1; entry = 2s (positive) and 2s + 1 for the negative
// half-wave. The smallest entries (2, at the peaks) and the largest (4276,
// next to the zero crossings) bound every lookup into the level table.
void BuildSine(int32_t* sine) {
    for (int i = 0; i < 512; ++i) {
        double x = std::sin((2 * i + 1) * kPi / 1024.0);
        int s = static_cast<int>(std::floor(-256.0 * std::log(x) / std::log(2.0) + 0.5)) + 1;
        sine[i] = 2 * s;
        sine[i + 512] = 2 * s + 1;
    }
}

// Attenuation index -> linear amplitude. The first 512 entries cover one
// octave: amplitude 2^(13 - i/256) rounded to a multiple of 4, positive at
// even indexes and negated at odd ones; every further 512 entries halve the
// previous octave (integer division, so small values fall to 0). The padding
// past 8192 stays 0: attenuations beyond the table are silence.
void BuildLevel(int32_t* level) {
    for (int i = 0; i < 256; ++i) {
        int v = static_cast<int>(std::floor(std::pow(2.0, 13.0 - i / 256.0)));
        v = (v + 2) & ~3;
        level[2 * i] = v;
        level[2 * i + 1] = -v;
    }
    for (int j = 512; j < Tables::kLevelSize; ++j) level[j] = level[j - 512] / 2;
    for (int j = Tables::kLevelSize; j < Tables::kLevelPaddedSize; ++j) level[j] = 0;
}

// Key code = block × 4 + a 2-bit note position from the top four F-number
// bits n: 0 for n <= 6, 1 for 7, 2 for 8, 3 for 9 and above.
void BuildKeyCode(uint8_t* keyCode) {
    for (int i = 0; i < 128; ++i) {
        int block = i >> 4;
        int n = i & 15;
        int note = n <= 6 ? 0 : n == 7 ? 1 : n == 8 ? 2 : 3;
        keyCode[i] = static_cast<uint8_t>(block * 4 + note);
    }
}

// Detune offsets added to the phase base, per key code 0..31, for detune
// 1, 2, 3; detune 0 and 4 add nothing, 5-7 subtract the values of 1-3.
constexpr int8_t kDetune[3][32] = {
    {0, 0, 0, 0, 2, 2, 2, 2,  2,  2,  2,  2,  4,  4,  4,  4,
     4, 6, 6, 6, 8, 8, 8, 10, 10, 12, 12, 14, 16, 16, 16, 16},
    {2,  2,  2,  2,  4,  4,  4,  4,  4,  6,  6,  6,  8,  8,  8,  10,
     10, 12, 12, 14, 16, 16, 18, 20, 22, 24, 26, 28, 32, 32, 32, 32},
    {4,  4,  4,  4,  4,  6,  6,  6,  8,  8,  8,  10, 10, 12, 12, 14,
     16, 16, 18, 20, 22, 24, 26, 28, 32, 34, 38, 40, 44, 44, 44, 44},
};

void BuildDetune(int8_t* detune) {
    for (int kc = 0; kc < 32; ++kc) {
        detune[0 * 32 + kc] = 0;
        detune[4 * 32 + kc] = 0;
        for (int d = 1; d <= 3; ++d) {
            detune[d * 32 + kc] = kDetune[d - 1][kc];
            detune[(d + 4) * 32 + kc] = static_cast<int8_t>(-kDetune[d - 1][kc]);
        }
    }
}

// Level increments per envelope step. Each rate has an 8-step pattern picked
// by the step count; below rate 48 the patterns W, X, Y, Z thin out the steps
// for rate mod 4 = 0..3, from rate 48 on the increments double every 4 rates.
void BuildEnvelopeSteps(int8_t (*decay)[8], int8_t (*attack)[8]) {
    static constexpr int8_t kPattern[4][8] = {
        {1, 0, 1, 0, 1, 0, 1, 0},  // W
        {1, 1, 1, 0, 1, 0, 1, 0},  // X
        {1, 1, 1, 0, 1, 1, 1, 0},  // Y
        {1, 1, 1, 1, 1, 1, 1, 0},  // Z
    };
    // Rates 48-59: four rows per octave of increment, lower value u, upper 2u.
    static constexpr int8_t kFast[4][8] = {
        {1, 1, 1, 1, 1, 1, 1, 1},
        {2, 1, 1, 1, 2, 1, 1, 1},
        {2, 1, 2, 1, 2, 1, 2, 1},
        {2, 2, 2, 1, 2, 2, 2, 1},
    };
    for (int rate = 0; rate < 64; ++rate) {
        for (int col = 0; col < 8; ++col) {
            int d;
            if (rate < 2)
                d = 0;
            else if (rate < 6)
                d = 1;
            else if (rate < 8)
                d = kPattern[2][col];
            else if (rate < 48)
                d = kPattern[rate & 3][col];
            else if (rate < 60)
                d = kFast[rate & 3][col] << ((rate - 48) / 4);
            else
                d = 16;
            decay[rate][col] = static_cast<int8_t>(d);
            // Attack: level -= 1 + (level >> shift) with shift = 4 - log2(d).
            int shift = -1;
            if (d != 0) {
                int log2d = 0;
                while ((1 << log2d) < d) ++log2d;
                shift = 4 - log2d;
            }
            attack[rate][col] = static_cast<int8_t>(shift);
        }
    }
}

// SSG-type envelope: (offset code, direction) per type & 7, selector and
// cycle. An offset code c shifts the attenuation by c × 512; direction -1
// inverts the envelope, 0 holds it.
constexpr int8_t kSSGType[8][2][3][2] = {
    {{{1, 1}, {1, 1}, {1, 1}}, {{0, 1}, {1, 1}, {1, 1}}},
    {{{0, 1}, {2, 0}, {2, 0}}, {{0, 1}, {2, 0}, {2, 0}}},
    {{{1, -1}, {0, 1}, {1, -1}}, {{0, 1}, {1, -1}, {0, 1}}},
    {{{1, -1}, {0, 0}, {0, 0}}, {{0, 1}, {0, 0}, {0, 0}}},
    {{{2, -1}, {2, -1}, {2, -1}}, {{1, -1}, {2, -1}, {2, -1}}},
    {{{1, -1}, {0, 0}, {0, 0}}, {{1, -1}, {0, 0}, {0, 0}}},
    {{{0, 1}, {1, -1}, {0, 1}}, {{1, -1}, {0, 1}, {1, -1}}},
    {{{0, 1}, {2, 0}, {2, 0}}, {{1, -1}, {2, 0}, {2, 0}}},
};

Tables* Build() {
    Tables& tables = Tables::built;
    BuildSine(tables.sine);
    BuildLevel(tables.level);
    tables.silentFrom = Tables::kLevelPaddedSize;
    while (tables.silentFrom > 0 && tables.level[tables.silentFrom - 1] == 0) --tables.silentFrom;
#if defined(__wasm__)
    for (int i = 0; i < Tables::kSineSize; ++i) tables.sineBytes[i] = tables.sine[i] * 4;
#endif
    BuildKeyCode(tables.keyCode);
    BuildDetune(tables.detune);
    for (int i = 0; i < 16; ++i) tables.rateMultiplier[i] = i < 11 ? 1 << i : 2047;
    BuildEnvelopeSteps(tables.decayStep, tables.attackShift);
    static constexpr int32_t kFeedback[8] = {31, 7, 6, 5, 4, 3, 2, 1};
    for (int i = 0; i < 8; ++i) tables.feedbackShift[i] = kFeedback[i];
    for (int t = 0; t < 8; ++t) {
        for (int s = 0; s < 2; ++s) {
            for (int c = 0; c < 3; ++c) {
                tables.ssgTypeOffset[t][s][c] = kSSGType[t][s][c][0];
                tables.ssgTypeDirection[t][s][c] = kSSGType[t][s][c][1];
            }
        }
    }
    return &tables;
}

}  // namespace

Tables Tables::built;

const Tables& Tables::Get() {
    static const Tables* tables = Build();
    return *tables;
}

}  // namespace FM
