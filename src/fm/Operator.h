// One FM operator: a sine oscillator with its own envelope generator.
//
// The operator works in the logarithmic attenuation domain: each sample adds
// the envelope attenuation to a log-sine value and converts the sum to a
// linear amplitude through the shared level table. Parameters arrive already
// masked to their ranges by the chip's register decoding; changing one only
// marks the operator, and `Refresh` (once per mix) applies it.
//
// Units:
// - envelope level: 1/64 octave of amplitude (about 0.094 dB), 0 loudest;
//   total level steps are 8 of these (0.75 dB).
// - envelope output: attenuation index (1/256 octave, bit 0 sign), a multiple
//   of 8 in 0..8184.
// - phase counter: 2^29 units per sine period, wraps.
#pragma once

#include <climits>
#include <cstdint>

#include "fm/RateContext.h"
#include "fm/Tables.h"

namespace FM {

enum class EnvelopePhase : int32_t {
    Attack = 1,
    Decay = 2,
    Sustain = 3,
    Release = 4,
    Off = 5,
};

class Operator {
  public:
    Operator();

    // The chip's rate context; not owned, must outlive the operator.
    void SetRateContext(const RateContext* context) { rateContext_ = context; }

    // Silences the operator (total level 127, phase Off); keeps the key-down flag.
    void Reset();

    // Frequency word: block in bits 13-11, F-number in bits 10-0.
    void SetFrequency(uint32_t word);

    void SetDetune(uint32_t detune);       // 0..7 (4-7 are negative)
    void SetMultiple(uint32_t multiple);   // 0..15, 0 = one half
    void SetKeyScale(uint32_t keyScale);   // 0..3
    void SetAttackRate(uint32_t rate);     // 0..62, even
    void SetDecayRate(uint32_t rate);      // 0..62, even
    void SetSustainRate(uint32_t rate);    // 0..62, even
    void SetReleaseRate(uint32_t rate);    // 2..62, 4n + 2
    void SetSustainLevel(uint32_t level);  // 0..124, envelope level / 8
    void SetSSGType(uint32_t type);        // 0..15; values below 8 switch it off
    void SetMute(bool muted);
    // A CSM write only updates the latch that the next attack loads.
    void SetTotalLevel(uint32_t level, bool csm);  // 0..127

    void KeyOn();
    void KeyOff();
    // Forgets the last two outputs (the feedback history of operator 1).
    void ClearOutputs() { output_ = previousOutput_ = 0; }

    // Applies parameter changes made since the last refresh.
    void Refresh();

    // One sample, phase-modulated by `modulation` (linear amplitude).
    int32_t Compute(int32_t modulation) {
        const Tables& t = *tables_;
        ClockEnvelope();
        previousOutput_ = output_;
        uint32_t p = NextPhase();
        uint32_t index = (p + static_cast<uint32_t>(modulation >> 1)) & (Tables::kSineSize - 1);
        output_ =
            t.level[static_cast<uint32_t>(envelopeOutput_) + static_cast<uint32_t>(t.sine[index])];
        return output_;
    }

    // The envelope clock of one sample: counts down, and runs an envelope
    // step when the count reaches 0.
    void ClockEnvelope() {
        if (quietSamples_ == 0) {
            EnvelopeStep();
        } else {
            AdvanceEnvelope(1);
        }
    }
    // How many coming samples leave the envelope alone: their clocks only
    // count down. kForever when the envelope never steps again at this rate.
    int32_t QuietSamples() const { return quietSamples_; }
    // The envelope clocks of `samples` quiet samples at once (at most QuietSamples()).
    void AdvanceEnvelope(int32_t samples) {
        envelopeCounter_ -= samples * envelopeCounterStep_;
        if (quietSamples_ != kForever) quietSamples_ -= samples;
    }
    static constexpr int32_t kForever = INT32_MAX;
    void SetEnvelopeCounter(int32_t counter);
    // The envelope output (attenuation index, as EnvelopeOutput) of each of
    // the next `samples` samples, clocking the envelope through them exactly
    // as that many calls of ClockEnvelope would. `out` has room for
    // kEnvelopeSlack entries past `samples`, which it may overwrite.
    void RenderEnvelope(int32_t* out, int32_t samples);
    // The same clocking of `samples` samples' envelope, nothing written.
    void SkipEnvelope(int32_t samples);
    static constexpr int32_t kEnvelopeSlack = 8;

    // Read-only state, for the channel, the chip and tests.
    EnvelopePhase Phase() const { return phase_; }
    bool Keyed() const { return keyed_; }
    int32_t Output() const { return output_; }
    // The output before Output(): operator 1's feedback history. The
    // channel keeps it up to date for operator 1 only; Compute for any.
    int32_t PreviousOutput() const { return previousOutput_; }
    int32_t EnvelopeLevel() const { return level_; }
    int32_t EnvelopeOutput() const { return envelopeOutput_; }
    int32_t EnvelopeRate() const { return envelopeRate_; }
    int32_t KeyScaleRate() const { return keyScaleRate_; }
    int32_t SSGCycle() const { return ssgCycle_; }
    int32_t SSGOffset() const { return ssgOffset_; }
    int32_t SSGDirection() const { return ssgDirection_; }
    int32_t TotalLevel() const { return totalLevel_; }
    uint32_t KeyCode() const { return keyCode_; }
    uint32_t PhaseCounter() const { return phaseCounter_; }
    uint32_t PhaseStep() const { return phaseStep_; }

  private:
    // The channel renders its operators' samples itself, from copies of the
    // per-sample state below (see Channel.cpp).
    friend class Channel;

    bool SSGTypeOn() const { return ssgType_ != 0; }
    int32_t RateWithKeyScale(int32_t rate) const;
    void SetEnvelopeRate(int32_t rate);
    void EnterPhase(int32_t phase);
    void EnvelopeStep();
    int32_t StepEvenly(int32_t* out, int32_t at, int32_t samples);
    void UpdateEnvelopeOutput();
    void LoadSSGType();

    // Sine index of this sample (counter >> 19; only the low 10 bits count).
    uint32_t NextPhase() {
        uint32_t p = phaseCounter_ >> 19;
        phaseCounter_ += phaseStep_;
        return p;
    }

    // Per-sample state first, so one operator's sample touches one cache line.
    int32_t envelopeCounter_ = 0;      // counts down; an envelope step at <= 0
    int32_t envelopeCounterStep_ = 0;  // rate multiplier × ratio (Q7)
    int32_t quietSamples_ = 0;         // samples before the next step, see QuietSamples
    int32_t reloadQuietSamples_ = 0;   // the same right after a step reloads the counter
    int32_t envelopeOutput_ = 0;       // attenuation index, 8 × (0..1023)
    uint32_t phaseCounter_ = 0;        // 2^29 units per period
    uint32_t phaseStep_ = 0;           // added per sample
    int32_t output_ = 0;               // linear, within ±8168
    int32_t previousOutput_ = 0;
    const Tables* tables_;
    const RateContext* rateContext_ = nullptr;

    int32_t level_ = 0;                  // envelope level, 1/64 octave
    int32_t nextPhaseLevel_ = 0;         // level at which the phase ends
    int32_t envelopeRate_ = 0;           // effective rate 0..63
    uint32_t envelopeStepCount_ = 0;     // low 3 bits pick the step-table column
    int32_t totalLevelAttenuation_ = 0;  // total level × 8, 1023 when muted
    int32_t ssgOffset_ = 0;              // 0, 512 or 1024
    int32_t ssgDirection_ = 1;           // 1, -1 or 0
    int32_t ssgCycle_ = 0;               // -1 before the first SSG-type attack, then 0, 1, 2
    int32_t keyScaleRate_ = 0;           // key code >> (3 - key scale)
    EnvelopePhase phase_ = EnvelopePhase::Off;

    uint32_t phaseBase_ = 0;     // F-number << block
    uint32_t detuneOffset_ = 0;  // detune × 32
    uint32_t multiple_ = 0;
    uint32_t keyCode_ = 0;
    int32_t totalLevel_ = 0;
    int32_t totalLevelLatch_ = 0;
    int32_t attackRate_ = 0;
    int32_t decayRate_ = 0;
    int32_t sustainRate_ = 0;
    int32_t releaseRate_ = 0;
    int32_t sustainLevel_ = 0;
    int32_t keyScale_ = 0;
    int32_t ssgType_ = 0;  // 0 or 8..15
    bool keyed_ = false;
    bool needsRefresh_ = true;
    bool muted_ = false;
};

}  // namespace FM
