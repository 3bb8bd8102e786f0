// Deliberate choices:
// - Only the low 8 bits of a register write's data are used (the observer
//   still sees the value as given).
// - A negative frame count mixes nothing; a rate of 0 is treated as 1.
// - The timers are plain latches: nothing advances them, so the status word
//   stays 0 and CSM key-ons never happen on their own.
#include "fm/OPN.h"

#include <algorithm>
#include <cmath>

#if defined(__SSE2__) && !defined(VELNARI_FM_PORTABLE)
#include <emmintrin.h>
#endif

namespace FM {
namespace {

// Sustain-level code -> envelope level / 8; code 15 means fully decayed.
constexpr uint32_t kSustainLevel[16] = {0,  4,  8,  12, 16, 20, 24, 28,
                                        32, 36, 40, 44, 48, 52, 56, 124};

// Register offsets +0, +4, +8, +12 address operators 1, 3, 2, 4.
constexpr int kOperatorOfSlot[4] = {0, 2, 1, 3};

// FM samples are summed per block in this many frames at a time.
constexpr int32_t kBlock = 256;

inline int16_t AddSaturated(int16_t sample, int32_t value) {
    return static_cast<int16_t>(std::clamp(sample + value, -32768, 32767));
}

// The FM gain that leaves samples as they are (Q14).
constexpr int32_t kUnityGain = 16384;

// Zeroes values[0] to values[n - 1], four at a time (n rounded up to 4).
void Zero(int32_t* values, int32_t n) {
    for (int32_t i = 0; i < n; i += 4) {
        for (int32_t j = 0; j < 4; ++j) values[i + j] = 0;
    }
}

// Adds `n` frames to the stereo buffer, the SSG value and then the FM sample
// to both sides, each addition saturating: what two passes over the buffer
// would store, in one. With `ClampFm` the FM sums are first limited to 16
// bits, which is all the chip's unity gain does to them.
template <bool ClampFm>
void AddFrames(int16_t* out, const int32_t* ssg, const int32_t* fm, int32_t n) {
    int32_t i = 0;
#if defined(__SSE2__) && !defined(VELNARI_FM_PORTABLE)
    // Four frames (eight samples) at a time: widen to 32 bits, add, and
    // narrow with saturation.
    auto add = [](__m128i samples, __m128i values) {
        const __m128i lo = _mm_srai_epi32(_mm_unpacklo_epi16(samples, samples), 16);
        const __m128i hi = _mm_srai_epi32(_mm_unpackhi_epi16(samples, samples), 16);
        return _mm_packs_epi32(_mm_add_epi32(lo, _mm_unpacklo_epi32(values, values)),
                               _mm_add_epi32(hi, _mm_unpackhi_epi32(values, values)));
    };
    for (; i + 4 <= n; i += 4) {
        __m128i* at = reinterpret_cast<__m128i*>(out + 2 * i);
        __m128i samples = _mm_loadu_si128(at);
        samples = add(samples, _mm_loadu_si128(reinterpret_cast<const __m128i*>(ssg + i)));
        __m128i values = _mm_loadu_si128(reinterpret_cast<const __m128i*>(fm + i));
        if constexpr (ClampFm) {
            // Narrowing with saturation clamps; widen back to 32 bits.
            values = _mm_packs_epi32(values, values);
            values = _mm_srai_epi32(_mm_unpacklo_epi16(values, values), 16);
        }
        samples = add(samples, values);
        _mm_storeu_si128(at, samples);
    }
#endif
    for (; i < n; ++i) {
        const int32_t value = ClampFm ? std::clamp(fm[i], -32768, 32767) : fm[i];
        out[2 * i] = AddSaturated(AddSaturated(out[2 * i], ssg[i]), value);
        out[2 * i + 1] = AddSaturated(AddSaturated(out[2 * i + 1], ssg[i]), value);
    }
}

}  // namespace

OPN::OPN() : spans_(std::make_unique<OperatorSpans>()) {
    SetVolumeFM(0);
    SetVolumePSG(0);
    csmChannel_ = &channel_[2];
    for (Channel& ch : channel_) ch.SetRateContext(&rateContext_);
}

OPN::OPN(const OPN& other) : OPNBase(other) {
    *this = other;
}

OPN& OPN::operator=(const OPN& other) {
    if (this == &other) return *this;
    OPNBase::operator=(other);
    std::copy(std::begin(other.frequency_), std::end(other.frequency_), frequency_);
    std::copy(std::begin(other.specialFrequency_), std::end(other.specialFrequency_),
              specialFrequency_);
    std::copy(std::begin(other.frequencyLatch_), std::end(other.frequencyLatch_), frequencyLatch_);
    std::copy(std::begin(other.channel_), std::end(other.channel_), channel_);
    // The copied parts point into `other`; point them at this chip's own.
    csmChannel_ = &channel_[2];
    for (Channel& ch : channel_) ch.SetRateContext(&rateContext_);
    return *this;
}

OperatorSpans& OPN::Spans() {
    if (!spans_) spans_ = std::make_unique<OperatorSpans>();
    return *spans_;
}

bool OPN::Init(uint32_t clock, uint32_t rate, bool interpolate, const char*) {
    SetRate(clock, rate, interpolate);
    Reset();
    SetVolumeFM(0);
    SetVolumePSG(0);
    SetChannelMask(0);
    return true;
}

bool OPN::SetRate(uint32_t clock, uint32_t rate, bool) {
    clock_ = clock;
    rate_ = std::max(rate, 1u);
    RefreshPrescaler();
    return true;
}

// Writes 0 to the timer registers and every operator, frequency and
// connection register (not 0x28, so nothing is keyed off), then silences the
// operators; gains and the channel mask are kept.
void OPN::Reset() {
    for (uint32_t addr = 0x20; addr < 0x28; ++addr) SetReg(addr, 0);
    for (uint32_t addr = 0x30; addr < 0xC0; ++addr) SetReg(addr, 0);
    OPNBase::Reset();
    for (Channel& ch : channel_) ch.Reset();
}

void OPN::SetReg(uint32_t addr, uint32_t data) {
    if (observer_) observer_->OnSetReg(addr, data);
    if (addr >= 0x100) return;
    data &= 0xFF;
    if (addr < 0x10) {
        ssg_.SetReg(addr, static_cast<uint8_t>(data));
        return;
    }
    const uint32_t k = addr & 3;
    switch (addr) {
        case 0x24:
        case 0x25:
        case 0x26:
        case 0x27:
            SetTimerReg(addr, data);
            break;
        // 0x28  key on/off  4321 -scc   operator key bits, channel 0-2
        case 0x28:
            if ((data & 3) < 3) channel_[data & 3].SetKeyMask(data >> 4);
            break;
        case 0x2D:
        case 0x2E:
        case 0x2F:
            SetPrescaler(addr - 0x2D);
            break;
        // 0xA4-0xA6  --bb bfff   block and F-number bits 10-8, latched
        // 0xA0-0xA2  ffff ffff   F-number bits 7-0, completes the word
        // (0xAC-0xAE / 0xA8-0xAA: the same for channel 3's special mode)
        case 0xA0:
        case 0xA1:
        case 0xA2:
            frequency_[k] = data + frequencyLatch_[k] * 256u;
            break;
        case 0xA4:
        case 0xA5:
        case 0xA6:
            frequencyLatch_[k] = static_cast<uint8_t>(data);
            break;
        case 0xA8:
        case 0xA9:
        case 0xAA:
            specialFrequency_[k] = data + frequencyLatch_[3 + k] * 256u;
            break;
        case 0xAC:
        case 0xAD:
        case 0xAE:
            frequencyLatch_[3 + k] = static_cast<uint8_t>(data);
            break;
        // 0xB0-0xB2  --ff faaa   feedback, algorithm
        case 0xB0:
        case 0xB1:
        case 0xB2:
            channel_[k].SetFeedback((data >> 3) & 7);
            channel_[k].SetConnection(data & 7);
            break;
        default:
            if (k != 3) SetOperatorReg(addr, data);
            break;
    }
}

// Operator registers, channel = addr & 3, operator by (addr >> 2) & 3:
//   0x30  DT MULTI  -ddd mmmm   detune, multiple
//   0x40  TL        -ttt tttt   total level
//   0x50  KS AR     kk-a aaaa   key scale, attack rate
//   0x60  AM DR     m--d dddd   amplitude modulation (absent here), decay rate
//   0x70  SR        ---s ssss   sustain rate
//   0x80  SL RR     ssss rrrr   sustain level, release rate
//   0x90  SSG-EG    ---- eeee   SSG-type envelope (bit 3 = on)
// Rates are stored doubled (0..62) so that key scaling adds in the same units.
void OPN::SetOperatorReg(uint32_t addr, uint32_t data) {
    const uint32_t ch = addr & 3;
    Operator& op = channel_[ch].GetOperator(kOperatorOfSlot[(addr >> 2) & 3]);
    switch (addr >> 4) {
        case 3:
            op.SetDetune((data >> 4) & 7);
            op.SetMultiple(data & 15);
            break;
        case 4: {
            bool csm = (timerControl_ & 0x80) && &channel_[ch] == csmChannel_;
            op.SetTotalLevel(data & 0x7F, csm);
            break;
        }
        case 5:
            op.SetKeyScale((data >> 6) & 3);
            op.SetAttackRate((data & 0x1F) * 2);
            break;
        case 6:
            op.SetDecayRate((data & 0x1F) * 2);
            break;
        case 7:
            op.SetSustainRate((data & 0x1F) * 2);
            break;
        case 8:
            op.SetSustainLevel(kSustainLevel[(data >> 4) & 15]);
            op.SetReleaseRate((data & 15) * 4 + 2);
            break;
        case 9:
            op.SetSSGType(data & 15);
            break;
        default:
            break;
    }
}

int OPN::PrepareChannels(Channel* (&active)[3]) {
    // Frequencies reach the channels only here, once per block.
    channel_[0].SetFrequency(frequency_[0]);
    channel_[1].SetFrequency(frequency_[1]);
    if ((timerControl_ & 0xC0) == 0) {
        channel_[2].SetFrequency(frequency_[2]);
    } else {
        channel_[2].GetOperator(0).SetFrequency(specialFrequency_[1]);
        channel_[2].GetOperator(1).SetFrequency(specialFrequency_[2]);
        channel_[2].GetOperator(2).SetFrequency(specialFrequency_[0]);
        channel_[2].GetOperator(3).SetFrequency(frequency_[2]);
    }
    // Only channels with a sounding operator are computed (and advanced).
    int count = 0;
    for (Channel& ch : channel_) {
        if (ch.PrepareMix()) active[count++] = &ch;
    }
    return count;
}

void OPN::Mix(int16_t* buffer, int32_t frames) {
    frames = std::max(frames, 0);
    const bool ssgSounds = ssg_.BeginMix();
    Channel* active[3];
    const int count = PrepareChannels(active);
    if (!ssgSounds && count == 0) return;

    // A part that is silent adds 0, which changes nothing. The SSG writes
    // every value it renders; the channels add theirs.
    int32_t ssg[kBlock], fm[kBlock];
    if (!ssgSounds) Zero(ssg, kBlock);
    for (int32_t done = 0; done < frames; done += kBlock) {
        const int32_t n = std::min(kBlock, frames - done);
        if (ssgSounds) ssg_.Render(ssg, n);
        Zero(fm, n);
        if (count > 0) Channel::Render(active, count, fm, n, Spans());
        if (fmGain_ == kUnityGain) {
            AddFrames<true>(buffer + 2 * done, ssg, fm, n);
        } else {
            for (int32_t i = 0; i < n; ++i) {
                fm[i] = (std::clamp(fm[i], -32768, 32767) * fmGain_) >> 14;
            }
            AddFrames<false>(buffer + 2 * done, ssg, fm, n);
        }
    }
    if (ssgSounds) ssg_.EndMix(frames);
}

// Mix's steps with the samples left out: the SSG's counters move at once,
// the channels as Channel::Advance says.
void OPN::Advance(int32_t frames) {
    frames = std::max(frames, 0);
    const bool ssgSounds = ssg_.BeginMix();
    Channel* active[3];
    const int count = PrepareChannels(active);
    if (!ssgSounds && count == 0) return;
    if (ssgSounds) ssg_.Advance(frames);
    if (count > 0) Channel::Advance(active, count, frames, Spans());
}

bool OPN::Silent() const {
    for (const Channel& ch : channel_) {
        for (int n = 0; n < 4; ++n) {
            if (ch.GetOperator(n).Phase() != EnvelopePhase::Off) return false;
        }
    }
    return ssg_.Quiet();
}

void OPN::SetVolumeFM(int32_t db) {
    db = std::min(db, 20);
    fmGain_ = db <= -192 ? 0 : static_cast<int32_t>(std::pow(10.0, db / 40.0) * 16384);
}

void OPN::SetVolumePSG(int32_t db) {
    ssg_.SetVolume(db);
}

void OPN::SetChannelMask(uint32_t mask) {
    for (int k = 0; k < 3; ++k) channel_[k].SetMute((mask >> k) & 1);
    ssg_.SetChannelMask(mask >> 6);
}

void OPN::RaiseStatus(uint32_t bits) {
    if (!(status_ & bits)) {
        status_ |= bits;
        OnInterrupt(true);
    }
}

void OPN::ClearStatus(uint32_t bits) {
    status_ &= ~bits;
    if (!status_) OnInterrupt(false);
}

}  // namespace FM
