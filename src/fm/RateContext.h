// The synthesis ratio of one chip and the phase-step multipliers derived from
// it, shared by the chip's twelve operators.
#pragma once

#include <cstdint>

namespace FM {

class RateContext {
  public:
    // Stores the ratio (FM clock per output sample, Q7) and rebuilds the step
    // multipliers; does nothing when the ratio is unchanged.
    void SetRatio(uint32_t ratio);

    uint32_t Ratio() const { return ratio_; }
    // Phase-step multiplier for an operator multiple 0..15: ratio × (m ? 2m : 1).
    uint32_t StepMultiplier(uint32_t multiple) const { return stepMultiplier_[multiple & 15]; }

  private:
    uint32_t ratio_ = 0;  // Q7: FM clock cycles per output sample × 128
    uint32_t stepMultiplier_[16] = {};
};

}  // namespace FM
