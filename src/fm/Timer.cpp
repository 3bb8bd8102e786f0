// Timer periods and the step are limited to the int32 range, so a tiny or
// zero FM clock cannot overflow them.
#include "fm/Timer.h"

#include <algorithm>
#include <cstdint>

namespace FM {
namespace {
int32_t ClampToInt32(int64_t value) {
    return static_cast<int32_t>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
}
}  // namespace

void Timer::SetTimerBase(uint32_t fmClock) {
    double step = fmClock ? 65536000000.0 / fmClock : 2147483647.0;
    timerStep_ = static_cast<int32_t>(std::min(step, 2147483647.0));
}

// 0x24  timer A high  aaaa aaaa   N_A bits 9-2
// 0x25  timer A low   ---- --aa   N_A bits 1-0
// 0x26  timer B       bbbb bbbb   N_B
// 0x27  control       mmrr eell   m = channel-3 mode, r = reset flags B/A,
//                                 e = flag enables B/A, l = load (start) B/A
void Timer::SetTimerReg(uint32_t addr, uint32_t data) {
    switch (addr) {
        case 0x24:
        case 0x25: {
            timerALatch_[addr & 1] = static_cast<uint8_t>(data);
            int64_t n = timerALatch_[0] * 4 + (timerALatch_[1] & 3);
            timerAPeriod_ = ClampToInt32((1024 - n) * int64_t{timerStep_});
            break;
        }
        case 0x26:
            timerBPeriod_ = ClampToInt32((256 - int64_t{data & 0xFF}) * int64_t{timerStep_});
            break;
        case 0x27: {
            uint32_t changed = timerControl_ ^ data;
            timerControl_ = static_cast<uint8_t>(data);
            if (data & 0x10) ClearStatus(1);
            if (data & 0x20) ClearStatus(2);
            if (changed & 1) timerACounter_ = (data & 1) ? timerAPeriod_ : 0;
            if (changed & 2) timerBCounter_ = (data & 2) ? timerBPeriod_ : 0;
            break;
        }
        default:
            break;
    }
}

}  // namespace FM
