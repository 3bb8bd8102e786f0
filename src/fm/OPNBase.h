// Common part of the OPN chip models: clock divider, synthesis ratio, output
// gain, status word, and the SSG section.
#pragma once

#include <cstdint>

#include "fm/Channel.h"
#include "fm/RateContext.h"
#include "fm/SSG.h"
#include "fm/Timer.h"

namespace FM {

class OPNBase : public Timer {
  public:
    void RaiseStatus(uint32_t bits) override = 0;
    void ClearStatus(uint32_t bits) override = 0;
    // CSM: with timer control bit 7 set, re-keys all operators of channel 3.
    void OnTimerA() override;
    // Status 0, prescaler index 0, timers stopped, SSG reset.
    virtual void Reset();

    // Clock divider 0, 1 or 2: (FM, SSG) dividers (6, 4), (3, 2), (2, 1).
    // Does nothing when the index is unchanged.
    void SetPrescaler(uint32_t index);
    // Re-applies the current divider, recomputing ratio, timer step and SSG clock.
    void RefreshPrescaler();

    uint32_t Clock() const { return clock_; }
    uint32_t Rate() const { return rate_; }
    uint32_t Ratio() const { return rateContext_.Ratio(); }
    uint32_t Status() const { return status_; }
    uint32_t PrescalerIndex() const { return prescaler_; }
    int32_t FMGain() const { return fmGain_; }
    const SSG& GetSSG() const { return ssg_; }

  protected:
    OPNBase();
    ~OPNBase() = default;

    int32_t fmGain_ = 16384;         // Q14, 16384 = unity
    uint32_t clock_ = 0;             // chip master clock, Hz
    uint32_t synthesisRate_ = 0;     // FM synthesis rate, always the output rate
    uint32_t rate_ = 0;              // output rate, Hz
    uint32_t status_ = 0;            // bit 0 timer A, bit 1 timer B
    Channel* csmChannel_ = nullptr;  // channel 3
    uint8_t prescaler_ = 0;          // 0..2; 255 only while forcing a recompute
    RateContext rateContext_;
    SSG ssg_;
};

}  // namespace FM
