#include "fm/RateContext.h"

namespace FM {

void RateContext::SetRatio(uint32_t ratio) {
    if (ratio == ratio_) return;
    ratio_ = ratio;
    // Multiple 0 is one half: the table counts in halves, so 0 -> 1, m -> 2m.
    for (uint32_t m = 0; m < 16; ++m) stepMultiplier_[m] = ratio * (m == 0 ? 1u : 2u * m);
}

}  // namespace FM
