// Timer A/B register model of the OPN family.
//
// The timers are kept as plain latches: their registers are decoded and
// stored, but nothing advances the counters, so no timer ever overflows and
// the status hooks are never reached from inside the chip.
#pragma once

#include <cstdint>

namespace FM {

class Timer {
  public:
    virtual void RaiseStatus(uint32_t bits) = 0;
    virtual void ClearStatus(uint32_t bits) = 0;
    virtual void OnTimerA() {}

    uint8_t TimerControl() const { return timerControl_; }
    int32_t TimerAPeriod() const { return timerAPeriod_; }
    int32_t TimerACounter() const { return timerACounter_; }
    int32_t TimerBPeriod() const { return timerBPeriod_; }
    int32_t TimerBCounter() const { return timerBCounter_; }
    int32_t TimerStep() const { return timerStep_; }

  protected:
    Timer() = default;
    ~Timer() = default;

    // Registers 0x24-0x27; other addresses are ignored.
    void SetTimerReg(uint32_t addr, uint32_t data);
    // Timer step = length of one FM sample in microseconds × 65536.
    void SetTimerBase(uint32_t fmClock);
    void ResetTimers() { timerACounter_ = timerBCounter_ = 0; }

    uint8_t timerControl_ = 0;     // last write to 0x27; bits 7-6 = channel-3 mode
    uint8_t timerALatch_[2] = {};  // last writes to 0x24, 0x25
    int32_t timerAPeriod_ = 0;     // (1024 - N_A) × timer step
    int32_t timerACounter_ = 0;    // 0 when stopped
    int32_t timerBPeriod_ = 0;     // (256 - N_B) × timer step
    int32_t timerBCounter_ = 0;    // 0 when stopped
    int32_t timerStep_ = 0;        // µs × 65536 per FM sample
};

}  // namespace FM
