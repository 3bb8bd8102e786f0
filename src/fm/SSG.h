// The SSG section of the YM2203: three square-wave tone channels (A, B, C),
// one noise generator any channel can mix in, and one hardware envelope any
// channel can use as its volume.
//
// Each output frame is the average of four equally spaced sub-steps. The
// output is mono and is added, saturating, to both sides of each stereo frame.
//
// The level, envelope and noise tables are shared by every SSG in the
// process. `SetVolume` rebuilds the level and envelope tables, so the gain set
// last applies to every SSG from then on.
#pragma once

#include <cstdint>

namespace FM {

class SSG {
  public:
    SSG();

    // Zeroes registers 0..13, then writes 0xFF to registers 7, 14 and 15.
    // Tone and noise counters keep running from where they are.
    void Reset();
    // SSG clock and output rate in Hz; recomputes the clock bases and steps.
    void SetClock(int32_t clock, int32_t rate);
    // Register 0..15; others are ignored.
    void SetReg(uint32_t reg, uint8_t data);
    // Gain in half-decibel steps (10^(db / 40)); rebuilds the shared tables.
    void SetVolume(int32_t db);
    // Bit i set mutes channel i (A = 0).
    void SetChannelMask(uint32_t mask);
    // Adds `frames` interleaved stereo frames into `buffer`, saturating.
    void Mix(int16_t* buffer, int32_t frames);

    // Read-only state, for the chip and tests.
    uint8_t GetReg(uint32_t reg) const { return reg < 16 ? registers_[reg] : 0; }
    int32_t OutputLevel(int channel) const { return outputLevel_[channel % 3]; }
    uint32_t ToneCounter(int channel) const { return toneCounter_[channel % 3]; }
    uint32_t ToneStep(int channel) const { return toneStep_[channel % 3]; }
    uint32_t NoiseCounter() const { return noiseCounter_; }
    uint32_t NoiseStep() const { return noiseStep_; }
    uint32_t EnvelopeCounter() const { return envelopeCounter_; }
    uint32_t EnvelopeStep() const { return envelopeStep_; }

    // Shared tables: level entry 0..31, envelope shape 0..15 × position 0..63,
    // noise word 0..1023.
    static int32_t LevelTable(int index);
    static int32_t EnvelopeTable(int shape, int position);
    static uint32_t NoiseTable(int index);

  private:
    void SetToneStep(int channel);
    void SetEnvelopeStepFromRegisters();
    template <bool Noise>
    void MixPlain(int16_t* buffer, int32_t frames, uint32_t toneOn, uint32_t noiseOn);
    void MixEnvelope(int16_t* buffer, int32_t frames, uint32_t toneOn, uint32_t noiseOn,
                     uint32_t useEnvelope);

    uint8_t registers_[16] = {};
    const int32_t* envelopeRow_;    // 64 entries of the shape selected by register 13
    int32_t outputLevel_[3] = {};   // fixed level of A, B, C; 0 when muted
    uint32_t toneCounter_[3] = {};  // bit 26 is the square wave
    uint32_t toneStep_[3] = {};
    uint32_t envelopeCounter_ = 0;  // bits 29-24 index the envelope row
    uint32_t envelopeStep_ = 0;
    uint32_t noiseCounter_ = 0;  // bits 31-22 pick a noise word, bits 21-17 a bit in it
    uint32_t noiseStep_ = 0;
    uint32_t toneBase_ = 0;       // SSG clock × 2^22 / rate
    uint32_t envelopeBase_ = 0;   // SSG clock × 2^20 / rate
    uint32_t noiseBase_ = 0;      // SSG clock × 2^12 / rate
    uint32_t enableMask_ = 0x3F;  // bit i set: channel i may sound
};

}  // namespace FM
