// Process-wide lookup tables of the FM operators.
//
// The tables are built once, the first time `Tables::Get` is called (the first
// operator construction does so), and are never freed or changed afterwards.
// Entries that are pure formulas are generated from them at start-up in double
// precision; entries that are the definition themselves (detune, envelope step
// patterns, SSG-type envelope) are written as literals.
//
// Attenuation indexes used throughout the FM side are in units of 1/256
// octave of amplitude with bit 0 carrying the sign (1 = negative half-wave).
#pragma once

#include <cstdint>

namespace FM {

struct Tables {
    static constexpr int kSineSize = 1024;
    // The level table proper has 8192 entries; it is padded with zeros so that
    // any envelope output (at most 8184) plus any sine entry (at most 4277)
    // can be looked up without a bounds check.
    static constexpr int kLevelSize = 8192;
    static constexpr int kLevelPaddedSize = 16384;
    // An envelope step reloads the envelope counter with this value
    // (2047 steps × 3 × 128 in the Q7 units of the synthesis ratio).
    static constexpr int32_t kEnvelopeCounterReload = 786048;

    // Log-sine: attenuation index of |sin| over one period, sign in bit 0.
    int32_t sine[kSineSize];
#if defined(__wasm__)
    // The same × 4: a byte offset into `level` (see the sample loop).
    int32_t sineBytes[kSineSize];
#endif
    // Attenuation index -> linear amplitude (±8192 full scale); zero from
    // index 6658 on and in the padding.
    int32_t level[kLevelPaddedSize];
    // The first index from which `level` holds only zeros: an operator
    // attenuated this much is silent whatever its phase.
    int32_t silentFrom;
    // Key code (0..31) from bits 13-7 of a frequency word (block, top F-number bits).
    uint8_t keyCode[128];
    // Phase-base offset, indexed by detune × 32 + key code.
    int8_t detune[256];
    // Envelope counter speed for rate / 4.
    int32_t rateMultiplier[16];
    // Level increment per envelope step, [rate][step count & 7].
    int8_t decayStep[64][8];
    // Attack shift per envelope step, [rate][step count & 7]; -1 = no change.
    int8_t attackShift[64][8];
    // Feedback register value -> shift of the feedback sum (31 = no feedback).
    int32_t feedbackShift[8];
    // SSG-type envelope: [type & 7][selector][cycle] offset code (× 512) and
    // direction (+1, -1 or 0) applied to the envelope level.
    int8_t ssgTypeOffset[8][2][3];
    int8_t ssgTypeDirection[8][2][3];

    // Linear amplitude of an attenuation index; 0 at and past the end of the table.
    int32_t Level(uint32_t index) const {
        return index < kLevelSize ? level[index] : 0;
    }

    // The shared tables, built on first use; two threads asking first at once
    // wait for one build.
    static const Tables& Get();

    // What Get returns, filled by its first call. The sample loops index it
    // by name: its address is then fixed when the program is linked, and
    // WebAssembly folds that address into each load (through a pointer, every
    // look-up adds the base in an instruction of its own).
    static Tables built;
};

}  // namespace FM
