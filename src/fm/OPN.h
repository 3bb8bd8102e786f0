// The YM2203 (OPN): three FM channels, the SSG section and two timers.
//
// The chip computes exactly one FM sample per output frame, at the output
// rate. Usage: construct, `Init` with the chip clock and output rate, then any
// number of `SetReg` and `Mix` calls. The object owns everything it uses and
// allocates nothing after construction (a copy: after its first mix); the
// lookup tables are process-wide.
//
// Mixing is additive: `Mix` adds into the caller's buffer with saturation, so
// the caller clears it first. FM and SSG output are mono and go to both sides.
#pragma once

#include <cstdint>
#include <memory>

#include "fm/Channel.h"
#include "fm/OPNBase.h"

namespace FM {

// Optional listener that sees every `SetReg` call in order, including the
// ones `Reset` makes internally.
class RegisterObserver {
  public:
    virtual ~RegisterObserver() = default;
    virtual void OnSetReg(uint32_t addr, uint32_t data) = 0;
};

class OPN : public OPNBase {
  public:
    OPN();
    virtual ~OPN() = default;
    // A copy is the same chip state (registers, counters, envelopes, the
    // operators' last outputs), so it plays on exactly as the original; it
    // has no register observer, and an assignment keeps the target's.
    OPN(const OPN& other);
    OPN& operator=(const OPN& other);

    // Clock and output rate in Hz. The interpolation flag and the path are
    // accepted for compatibility and ignored. Always returns true.
    bool Init(uint32_t clock, uint32_t rate, bool interpolate = false, const char* path = nullptr);
    bool SetRate(uint32_t clock, uint32_t rate, bool interpolate = false);
    void Reset() override;
    // Address 0x00-0xFF (0x00-0x0F go to the SSG); data uses its low 8 bits.
    void SetReg(uint32_t addr, uint32_t data);
    // Adds `frames` interleaved stereo frames, saturating.
    void Mix(int16_t* buffer, int32_t frames);
    // Leaves the chip as a Mix of `frames` frames would, without computing
    // their samples: counters, envelopes and the operators' outputs that
    // later samples hear. Far cheaper than Mix (see OPN.cpp).
    void Advance(int32_t frames);
    void SetVolumeFM(int32_t db);        // half-decibel steps, at most +20; -192 or less mutes
    void SetVolumePSG(int32_t db);       // half-decibel steps
    void SetChannelMask(uint32_t mask);  // bits 0-2 FM 1-3, bits 6-8 SSG A-C
    // Not owned; nullptr removes it.
    void SetRegisterObserver(RegisterObserver* observer) { observer_ = observer; }

    void RaiseStatus(uint32_t bits) override;
    void ClearStatus(uint32_t bits) override;
    virtual void OnInterrupt(bool) {}

    // True when the chip makes no sound that changes: every FM operator's
    // envelope at full attenuation (released to its end) and the SSG quiet
    // (SSG::Quiet). A tool asks this to know where a piece's sound has ended.
    bool Silent() const;

    // Read-only access for tools and tests.
    const Channel& GetChannel(int index) const { return channel_[index % 3]; }
    uint32_t FrequencyWord(int channel) const { return frequency_[channel % 3]; }
    uint32_t SpecialFrequencyWord(int slot) const { return specialFrequency_[slot % 3]; }

  private:
    void SetOperatorReg(uint32_t addr, uint32_t data);
    // The frequencies to the channels and the channels to mix (those with a
    // sounding operator), as each mix begins; returns their count.
    int PrepareChannels(Channel* (&active)[3]);
    OperatorSpans& Spans();

    uint32_t frequency_[3] = {};         // latch × 256 + low byte, per channel
    uint32_t specialFrequency_[3] = {};  // channel-3 per-operator words
    uint8_t frequencyLatch_[6] = {};     // [0..2] from 0xA4-0xA6, [3..5] from 0xAC-0xAE
    Channel channel_[3];
    // Channel::Render's scratch space, no state: a copy makes its own.
    std::unique_ptr<OperatorSpans> spans_;
    RegisterObserver* observer_ = nullptr;
};

}  // namespace FM
