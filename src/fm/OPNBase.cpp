#include "fm/OPNBase.h"

#include <algorithm>
#include <cstdint>

namespace FM {

OPNBase::OPNBase() = default;

void OPNBase::OnTimerA() {
    if ((timerControl_ & 0x80) && csmChannel_) {
        csmChannel_->SetKeyMask(0);
        csmChannel_->SetKeyMask(15);
    }
}

void OPNBase::Reset() {
    status_ = 0;
    SetPrescaler(0);
    ResetTimers();
    ssg_.Reset();
}

// Prescaler index -> (FM divider, SSG divider). The FM side further divides
// by 12: one FM sample per 12 FM clocks (6 × 12 = 72 master clocks by default).
void OPNBase::SetPrescaler(uint32_t index) {
    static constexpr uint32_t kFMDivider[3] = {6, 3, 2};
    static constexpr uint32_t kSSGDivider[3] = {4, 2, 1};
    if (index == prescaler_ || index > 2) return;
    prescaler_ = static_cast<uint8_t>(index);

    const uint32_t rate = std::max(rate_, 1u);
    const uint32_t fmClock = clock_ / kFMDivider[index] / 12;
    synthesisRate_ = rate_;
    // FM clocks per output sample in Q7, rounded to nearest (unsigned, wraps
    // only for clocks far beyond any real chip).
    const uint32_t ratio = (fmClock * 128 + rate / 2) / rate;
    SetTimerBase(fmClock);
    rateContext_.SetRatio(ratio);
    const uint32_t ssgClock = clock_ / kSSGDivider[index];
    ssg_.SetClock(static_cast<int32_t>(std::min<uint32_t>(ssgClock, INT32_MAX)),
                  static_cast<int32_t>(std::min<uint32_t>(rate, INT32_MAX)));
}

void OPNBase::RefreshPrescaler() {
    uint32_t index = prescaler_;
    prescaler_ = 255;
    SetPrescaler(index);
}

}  // namespace FM
