// The SSG section of the YM2203: three square-wave tone channels (A, B, C),
// one noise generator any channel can mix in, and one hardware envelope any
// channel can use as its volume.
//
// Each output frame is the average of four equally spaced sub-steps. The
// output is mono and is added, saturating, to both sides of each stereo frame.
//
// Each SSG has its own level and envelope tables, scaled by its own gain
// (`SetVolume`), so SSGs in one process never change each other's sound. The
// noise table is the same for everyone: built once, then only read.
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
    // Gain in half-decibel steps (10^(db / 40)); rebuilds this SSG's level and
    // envelope tables.
    void SetVolume(int32_t db);
    // Bit i set mutes channel i (A = 0).
    void SetChannelMask(uint32_t mask);
    // Adds `frames` interleaved stereo frames into `buffer`, saturating.
    void Mix(int16_t* buffer, int32_t frames);
    // The same mix in parts, for a caller that adds the frame values itself.
    // BeginMix returns false when the SSG is silent for this mix: nothing is
    // to be added and no counter moves. Otherwise any number of Render calls
    // give the next frames' values (each the average of four sub-steps, to be
    // added to both sides), and EndMix with the frames rendered in all closes it.
    bool BeginMix();
    void Render(int32_t* values, int32_t frames);
    void EndMix(int32_t frames);
    // In place of Render and EndMix, after BeginMix returned true: the
    // counters of `frames` frames moved on at once, no values computed.
    void Advance(int32_t frames);

    // True when no channel that is heard changes its output: none has its
    // tone or noise on at a level above silence, and none follows an
    // envelope that still moves. A constant level is no sound.
    bool Quiet() const;

    // Read-only state, for the chip and tests.
    uint8_t GetReg(uint32_t reg) const { return reg < 16 ? registers_[reg] : 0; }
    int32_t OutputLevel(int channel) const { return outputLevel_[channel % 3]; }
    uint32_t ToneCounter(int channel) const { return toneCounter_[channel % 3]; }
    uint32_t ToneStep(int channel) const { return toneStep_[channel % 3]; }
    uint32_t NoiseCounter() const { return noiseCounter_; }
    uint32_t NoiseStep() const { return noiseStep_; }
    uint32_t EnvelopeCounter() const { return envelopeCounter_; }
    uint32_t EnvelopeStep() const { return envelopeStep_; }

    // Tables: level entry 0..31 and envelope shape 0..15 x position 0..63 of
    // this SSG; the shared noise word 0..1023.
    int32_t LevelTable(int index) const;
    int32_t EnvelopeTable(int shape, int position) const;
    static uint32_t NoiseTable(int index);

  private:
    void SetToneStep(int channel);
    void SetEnvelopeStepFromRegisters();
    template <bool Noise, bool Envelope>
    void RenderWith(int32_t* values, int32_t frames);
    void RenderTones(int32_t* values, int32_t groups);
    int32_t SubStepsOnOneLevel() const;
    int32_t EnvelopeNow() const;  // the envelope's value at its counter
    bool Alternates() const;      // the envelope's row repeats whole
    void StepEnvelopeOnOneLevel(uint32_t subSteps);

    // Level table: 32 entries 1.5 dB apart, entry 31 = gain x 16384 / 3 (a
    // third of full scale, so three channels at full level just fit), entries
    // 0 and 1 silent. A fixed volume L (0..15) uses entry 2L + 1, 3 dB per step.
    int32_t level_[32] = {};
    // Envelope table: 16 shapes x 64 levels from the level table.
    int32_t envelope_[16][64] = {};
    const uint32_t* noise_;     // the shared noise words
    const uint8_t* noiseBits_;  // their bits, one per byte, as the noise counter >> 17 reads them

    uint8_t registers_[16] = {};
    uint32_t envelopeShape_ = 0;    // register 13's shape, the row of envelope_ in use
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
    // Fixed by BeginMix for the mix: bit i = channel i's tone sounds, noise
    // is mixed in, the envelope is its volume.
    uint32_t toneOn_ = 0;
    uint32_t noiseOn_ = 0;
    uint32_t useEnvelope_ = 0;
};

}  // namespace FM
