// Deliberate choices:
// - Level-table entries are limited to 2^27 - 1 before conversion, so any
//   gain (however large) neither overflows the conversion nor the sum of
//   twelve contributions per frame; up to about +175 half-decibel steps the
//   limit is never reached.
// - The clock bases are limited to the uint32 range and a rate of 0 or less
//   counts as 1, so absurd clocks and rates cannot overflow a conversion.
// - Tone and noise counters start at 0 and are never reset afterwards.
// - A negative frame count mixes nothing.
#include "fm/SSG.h"

#include "fm/Quad.h"

#include <algorithm>
#include <cmath>

namespace FM {
namespace {

constexpr double kMaxLevel = (1 << 27) - 1;

// An envelope counter that has just passed the end of its row (2^30), taken
// back into the row: to its second segment again, or, for the shapes that
// alternate, to its start.
constexpr uint32_t FoldEnvelope(uint32_t env, bool alternate) {
    if (!alternate) env |= 0x20000000;
    return env & 0x3FFFFFFF;
}

// Noise table: the 32768-bit output stream of a 17-bit shift register
// (taps 0 and 3, seed 14321), packed most significant bit first. The same for
// every SSG, built once and only read afterwards.
// Beside the words, the same bits one per byte, in the order the noise
// counter reads them: bit[i] is bit i & 31 of word i >> 5.
struct NoiseWords {
    uint32_t word[1024];
    uint8_t bit[32768];

    NoiseWords() {
        uint32_t reg = 14321;
        for (uint32_t& w : word) {
            w = 0;
            for (int b = 0; b < 32; ++b) {
                w = w * 2 + (reg & 1);
                reg = (reg >> 1) | (((reg << 14) ^ (reg << 16)) & 0x10000);
            }
        }
        for (uint32_t i = 0; i < 32768; ++i) bit[i] = (word[i >> 5] >> (i & 31)) & 1;
    }
};

const NoiseWords& SharedNoise() {
    static const NoiseWords noise;
    return noise;
}

const uint32_t* Noise() {
    return SharedNoise().word;
}

enum Segment { kLow, kRising, kFalling, kHigh };

void FillSegment(int32_t* out, const int32_t (&level)[32], Segment segment) {
    for (int i = 0; i < 32; ++i) {
        switch (segment) {
            case kLow:
                out[i] = level[0];
                break;
            case kRising:
                out[i] = level[i];
                break;
            case kFalling:
                out[i] = level[31 - i];
                break;
            case kHigh:
                out[i] = level[31];
                break;
        }
    }
}

// Envelope table: 16 shapes x 64 levels, two 32-entry segments per shape
// (falling, rising, low or high), built from the level table.
void BuildEnvelope(int32_t (&envelope)[16][64], const int32_t (&level)[32]) {
    // Register 13 shapes: continue, attack, alternate, hold in one nibble.
    static constexpr Segment kShapes[16][2] = {
        {kFalling, kLow},     {kFalling, kLow}, {kFalling, kLow},    {kFalling, kLow},
        {kRising, kLow},      {kRising, kLow},  {kRising, kLow},     {kRising, kLow},
        {kFalling, kFalling}, {kFalling, kLow}, {kFalling, kRising}, {kFalling, kHigh},
        {kRising, kRising},   {kRising, kHigh}, {kRising, kFalling}, {kRising, kLow},
    };
    for (int s = 0; s < 16; ++s) {
        FillSegment(envelope[s], level, kShapes[s][0]);
        FillSegment(envelope[s] + 32, level, kShapes[s][1]);
    }
}

uint32_t ClockBase(int32_t clock, int32_t rate, double scale) {
    double base = static_cast<double>(clock) * scale / static_cast<double>(std::max(rate, 1));
    base = std::clamp(base, 0.0, 4294967295.0);
    return static_cast<uint32_t>(base);
}

inline int16_t AddSaturated(int16_t sample, int32_t value) {
    return static_cast<int16_t>(std::clamp(sample + value, -32768, 32767));
}

}  // namespace

SSG::SSG() : noise_(Noise()), noiseBits_(SharedNoise().bit) {
    SetVolume(0);
    Reset();
    enableMask_ = 0x3F;
}

void SSG::Reset() {
    for (uint32_t r = 0; r < 14; ++r) SetReg(r, 0);
    SetReg(7, 0xFF);
    SetReg(14, 0xFF);
    SetReg(15, 0xFF);
}

void SSG::SetClock(int32_t clock, int32_t rate) {
    toneBase_ = ClockBase(clock, rate, 4194304.0);
    envelopeBase_ = ClockBase(clock, rate, 1048576.0);
    noiseBase_ = ClockBase(clock, rate, 4096.0);
    for (int i = 0; i < 3; ++i) SetToneStep(i);
    // Half the step a register-6 write gives, until register 6 is written again.
    uint32_t n = registers_[6] & 0x1F;
    noiseStep_ = (n ? noiseBase_ / n : noiseBase_) >> 1;
    SetEnvelopeStepFromRegisters();
}

void SSG::SetToneStep(int channel) {
    uint32_t period = (registers_[channel * 2] + registers_[channel * 2 + 1] * 256u) & 0xFFF;
    toneStep_[channel] = period ? toneBase_ / period : toneBase_;
}

void SSG::SetEnvelopeStepFromRegisters() {
    uint32_t period = registers_[11] + registers_[12] * 256u;
    envelopeStep_ = period ? envelopeBase_ / period : envelopeBase_ * 2;
}

// Register map:
//   0-5   tone period A, B, C: low byte, then ---- pppp high bits (12 bits)
//   6     noise period         ---n nnnn
//   7     mixer                --cb acba  bits 3-5 noise off, bits 0-2 tone off
//   8-10  level A, B, C        ---m llll  m = use the envelope, l = fixed level
//   11-12 envelope period, low and high byte (16 bits)
//   13    envelope shape       ---- ssss  (a write restarts the envelope)
//   14-15 I/O ports, stored only
void SSG::SetReg(uint32_t reg, uint8_t data) {
    if (reg >= 16) return;
    registers_[reg] = data;
    switch (reg) {
        case 0:
        case 1:
        case 2:
        case 3:
        case 4:
        case 5:
            SetToneStep(static_cast<int>(reg / 2));
            break;
        case 6: {
            uint32_t n = data & 0x1F;
            noiseStep_ = n ? noiseBase_ / n : noiseBase_;
            break;
        }
        case 8:
        case 9:
        case 10: {
            uint32_t i = reg - 8;
            outputLevel_[i] = (enableMask_ & (1u << i)) ? level_[(data & 15) * 2 + 1] : 0;
            break;
        }
        case 11:
        case 12:
            SetEnvelopeStepFromRegisters();
            break;
        case 13:
            envelopeCounter_ = 0;
            envelopeShape_ = data & 15;
            break;
        default:
            break;
    }
}

void SSG::SetVolume(int32_t db) {
    double base = 16384.0 / 3.0 * std::pow(10.0, db / 40.0);
    for (int i = 31; i >= 2; --i) {
        level_[i] = static_cast<int32_t>(std::min(base, kMaxLevel));
        base = base / 1.189207115;
    }
    level_[1] = level_[0] = 0;
    BuildEnvelope(envelope_, level_);
    SetChannelMask(~enableMask_);
}

void SSG::SetChannelMask(uint32_t mask) {
    enableMask_ = ~mask;
    for (int i = 0; i < 3; ++i) {
        outputLevel_[i] = (enableMask_ & (1u << i)) ? level_[(registers_[8 + i] & 15) * 2 + 1] : 0;
    }
}

// The frame loop. Each frame is four sub-steps, and the four are computed
// side by side, one lane each (see Quad): lane k of a channel's counter is
// its tone counter at sub-step k, and every lane moves on by four steps per
// frame. The noise bits and envelope values of the four sub-steps come from
// the shared counters, which stay scalar. A channel's contribution is +v
// when its bit is 1 and -v when it is 0, computed as (v + x) ^ x with
// x = bit - 1; the frame value is the sum of all twelve, divided by 4.
// Without `Envelope` a channel that follows the envelope hears it on the
// level it stands on, which the frames must not leave (SubStepsOnOneLevel);
// the envelope's counter then moves on at the end.
template <bool Noise, bool Envelope>
void SSG::RenderWith(int32_t* values, int32_t frames) {
    const Quad minusOne = Quad::All(0xFFFFFFFF);
    Quad counter[3], step[3], toneBit[3], noiseBit[3], level[3], envelopeMask[3];
    for (int i = 0; i < 3; ++i) {
        const uint32_t c = toneCounter_[i], s = toneStep_[i];
        counter[i] = Quad::Of(c, c + s, c + 2 * s, c + 3 * s);
        step[i] = Quad::All(4 * s);
        toneBit[i] = Quad::All((toneOn_ >> i) & 1);
        noiseBit[i] = Quad::All((noiseOn_ >> i) & 1);
        const bool follows = (useEnvelope_ >> i) & 1;
        level[i] = Quad::All(
            static_cast<uint32_t>(!Envelope && follows ? EnvelopeNow() : outputLevel_[i]));
        envelopeMask[i] = Quad::All(0u - follows);
    }
    const bool alternate = Alternates();
    const int32_t* row = envelope_[envelopeShape_];
    const uint8_t* noiseBits = noiseBits_;
    uint32_t env = envelopeCounter_;
    const uint32_t envStep = envelopeStep_;
    uint32_t noise = noiseCounter_;
    const uint32_t noiseStep = noiseStep_;

    // One sub-step of the shared counters: its envelope value and noise bit.
    auto subStep = [&](uint32_t& e, uint32_t& nb) {
        if constexpr (Envelope) {
            e = static_cast<uint32_t>(row[env >> 24]);
            env += envStep;
            if (env >= 0x40000000) env = FoldEnvelope(env, alternate);
        }
        if constexpr (Noise) {
            nb = noiseBits[noise >> 17];
            noise += noiseStep;
        }
    };
    // One channel's four contributions.
    auto channel = [&](int i, Quad noiseNow, Quad envelopeNow) {
        const Quad bit = (counter[i].ShiftRight<26>() & toneBit[i]) | (noiseBit[i] & noiseNow);
        const Quad x = bit + minusOne;
        Quad v = level[i];
        if constexpr (Envelope) {
            v = (envelopeNow & envelopeMask[i]) | (v & (envelopeMask[i] ^ minusOne));
        }
        counter[i] = counter[i] + step[i];
        return (v + x) ^ x;
    };
    for (int32_t f = 0; f < frames; ++f) {
        // Scalars, not arrays: the lanes are built in registers.
        uint32_t e0 = 0, e1 = 0, e2 = 0, e3 = 0, n0 = 0, n1 = 0, n2 = 0, n3 = 0;
        subStep(e0, n0);
        subStep(e1, n1);
        subStep(e2, n2);
        subStep(e3, n3);
        const Quad noiseNow = Quad::Of(n0, n1, n2, n3);
        const Quad envelopeNow = Quad::Of(e0, e1, e2, e3);
        const Quad sum = channel(0, noiseNow, envelopeNow) + channel(1, noiseNow, envelopeNow) +
                         channel(2, noiseNow, envelopeNow);
        values[f] = sum.Sum() / 4;
    }
    for (int i = 0; i < 3; ++i) toneCounter_[i] = counter[i].Lane0();
    noiseCounter_ = noise;
    if constexpr (Envelope) {
        envelopeCounter_ = env;
        // With the envelope on, the noise counter runs whether any channel
        // hears it or not.
        if constexpr (!Noise) noiseCounter_ += 4 * static_cast<uint32_t>(frames) * noiseStep;
    } else if (useEnvelope_) {
        StepEnvelopeOnOneLevel(4 * static_cast<uint32_t>(frames));
        if constexpr (!Noise) noiseCounter_ += 4 * static_cast<uint32_t>(frames) * noiseStep;
    }
}

// The shapes whose row runs back and forth (register 13: continue and
// alternate without hold) repeat all of it; the others repeat its second
// segment.
bool SSG::Alternates() const {
    return (registers_[13] & 0x0B) == 0x0A;
}

int32_t SSG::EnvelopeNow() const {
    return envelope_[envelopeShape_][envelopeCounter_ >> 24];
}

// What `subSteps` sub-steps' additions do to the envelope counter when they
// all read it on one level (see SubStepsOnOneLevel): none but the last can
// have reached the end of the row.
void SSG::StepEnvelopeOnOneLevel(uint32_t subSteps) {
    const uint32_t env = envelopeCounter_ + subSteps * envelopeStep_;
    envelopeCounter_ = env >= 0x40000000 ? FoldEnvelope(env, Alternates()) : env;
}

// Tones without noise, four frames at a time, while the hardware envelope
// (if any channel uses it) stays on one level: lane f of a channel's counter
// is its tone counter at sub-step k of frame f, so the four sub-steps of
// four frames are four steps of the lanes, and each lane sums its own frame.
// A channel adds +v where its bit is 1 and -v where it is 0, so a frame's
// sum of twelve is 2 × (the v of the 1 bits) - 4 × (every v): only the 1
// bits are summed. The counters run shifted left by 5, so that the tone bit
// (bit 26) is the sign bit, whose mask picks v. The same integer sum as
// RenderWith's (the wrapping of the doubled part cancels, the total fits);
// the division by 4 truncates towards 0 as `/` does. `groups` groups of four
// frames.
void SSG::RenderTones(int32_t* values, int32_t groups) {
    const auto envelope = static_cast<uint32_t>(EnvelopeNow());
    // One channel: its counter at sub-step 0 of the group's four frames,
    // the counter's step and v where the tone is heard, else 0. Kept in
    // named locals rather than an array, so that they stay in registers.
    struct Tone {
        Quad counter, step, group, heard;
    };
    uint32_t levels = 0;
    auto tone = [&](int i) {
        const uint32_t c = toneCounter_[i] << 5, s = toneStep_[i] << 5;
        const uint32_t v =
            (useEnvelope_ >> i) & 1 ? envelope : static_cast<uint32_t>(outputLevel_[i]);
        levels += v;
        return Tone{Quad::Of(c, c + 4 * s, c + 8 * s, c + 12 * s), Quad::All(s), Quad::All(16 * s),
                    Quad::All((toneOn_ >> i) & 1 ? v : 0)};
    };
    Tone a = tone(0), b = tone(1), c = tone(2);
    const Quad allLow = Quad::All(0u - 4 * levels);
    // The v of the 1 bits among one channel's four sub-steps of four frames.
    auto high = [](Tone& t) {
        const Quad c1 = t.counter + t.step, c2 = c1 + t.step, c3 = c2 + t.step;
        const Quad sum = ((t.counter.TopBitMask() & t.heard) + (c1.TopBitMask() & t.heard)) +
                         ((c2.TopBitMask() & t.heard) + (c3.TopBitMask() & t.heard));
        t.counter = t.counter + t.group;
        return sum;
    };
    for (int32_t g = 0; g < groups; ++g) {
        const Quad sum = high(a) + high(b) + high(c);
        (sum + sum + allLow).QuarterTowardZero().Store(reinterpret_cast<uint32_t*>(values + 4 * g));
    }
    const uint32_t subSteps = 16 * static_cast<uint32_t>(groups);
    for (int i = 0; i < 3; ++i) toneCounter_[i] += subSteps * toneStep_[i];
    if (useEnvelope_) {
        StepEnvelopeOnOneLevel(subSteps);
        noiseCounter_ += subSteps * noiseStep_;
    }
}

// Sub-steps from now that all read the envelope at its current position in
// the row, at most INT32_MAX.
int32_t SSG::SubStepsOnOneLevel() const {
    const uint32_t env = envelopeCounter_, step = envelopeStep_;
    if (step == 0) return INT32_MAX;
    const uint64_t next = (uint64_t{env >> 24} + 1) << 24;
    const uint64_t subSteps = (next - env + step - 1) / step;
    return static_cast<int32_t>(std::min<uint64_t>(subSteps, INT32_MAX));
}

bool SSG::BeginMix() {
    const uint32_t enable = ~static_cast<uint32_t>(registers_[7]) & 0xFF;
    if (((enable & 0x3F) | ((registers_[8] | registers_[9] | registers_[10]) & 0x1F)) == 0)
        return false;
    toneOn_ = noiseOn_ = useEnvelope_ = 0;
    for (uint32_t i = 0; i < 3; ++i) {
        // A period too short for the output rate counts as tone off.
        if ((enable & (1u << i)) && toneStep_[i] <= 0x1000000) toneOn_ |= 1u << i;
        if (enable & (8u << i)) noiseOn_ |= 1u << i;
        if ((enableMask_ & (1u << i)) && (registers_[8 + i] & 0x10)) useEnvelope_ |= 1u << i;
    }
    return true;
}

void SSG::Render(int32_t* values, int32_t frames) {
    if (noiseOn_) {
        // With the envelope, the frames that stay on one level of it go
        // without stepping it, unless its levels last less than 16 frames.
        if (!useEnvelope_) {
            RenderWith<true, false>(values, frames);
        } else if (envelopeStep_ > (1u << 24) / 64) {
            RenderWith<true, true>(values, frames);
        } else {
            for (int32_t done = 0; done < frames;) {
                const int32_t n = std::min(frames - done, SubStepsOnOneLevel() / 4);
                if (n > 0) {
                    RenderWith<true, false>(values + done, n);
                    done += n;
                } else {
                    RenderWith<true, true>(values + done, 1);
                    ++done;
                }
            }
        }
        return;
    }
    int32_t done = 0;
    if (!useEnvelope_) {
        RenderTones(values, frames / 4);
        done = frames & ~3;
        RenderWith<false, false>(values + done, frames - done);
        return;
    }
    while (frames - done >= 4) {
        const int32_t groups = std::min((frames - done) / 4, SubStepsOnOneLevel() / 16);
        if (groups > 0) {
            RenderTones(values + done, groups);
            done += 4 * groups;
        } else {
            RenderWith<false, true>(values + done, 4);
            done += 4;
        }
    }
    RenderWith<false, true>(values + done, frames - done);
}

void SSG::EndMix(int32_t frames) {
    if (useEnvelope_) return;
    // The envelope did not run per sub-step: advance it by the whole mix at
    // once, in units of 256 counter steps (the low 8 bits are dropped).
    uint32_t e = (envelopeCounter_ >> 8) + (envelopeStep_ >> 6) * static_cast<uint32_t>(frames);
    if (e >= 0x400000) {
        if (!Alternates()) e |= 0x200000;
        e &= 0x3FFFFF;
    }
    envelopeCounter_ = e << 8;
}

// Every counter moves by its step at each sub-step, modulo 2^32; only the
// hardware envelope's, when a channel follows it, folds back at the end of
// its row at the sub-step that passes it, so it moves a row's end at a time.
void SSG::Advance(int32_t frames) {
    frames = std::max(frames, 0);
    const uint32_t subSteps = 4 * static_cast<uint32_t>(frames);
    for (int i = 0; i < 3; ++i) toneCounter_[i] += subSteps * toneStep_[i];
    if (noiseOn_ || useEnvelope_) noiseCounter_ += subSteps * noiseStep_;
    if (!useEnvelope_) {
        EndMix(frames);
        return;
    }
    const bool alternate = Alternates();
    const uint64_t step = envelopeStep_;
    uint64_t env = envelopeCounter_;  // below 2^30 between sub-steps
    uint64_t left = subSteps;
    while (left > 0 && step > 0) {
        // Sub-steps until the counter reaches 2^30 (with a step of 2^32 or
        // more, the uint32 counter's wrap decides: one sub-step at a time).
        const uint64_t toEnd =
            step >= (uint64_t{1} << 32) - 0x40000000 ? 1 : (0x40000000 - env + step - 1) / step;
        if (toEnd > left) {
            env += left * step;
            break;
        }
        env = static_cast<uint32_t>(env + toEnd * step);
        left -= toEnd;
        if (env >= 0x40000000) env = FoldEnvelope(static_cast<uint32_t>(env), alternate);
    }
    envelopeCounter_ = static_cast<uint32_t>(env);
}

void SSG::Mix(int16_t* buffer, int32_t frames) {
    if (!BeginMix()) return;
    frames = std::max(frames, 0);
    int32_t values[256];
    for (int32_t done = 0; done < frames; done += 256) {
        const int32_t n = std::min(256, frames - done);
        Render(values, n);
        for (int32_t i = 0; i < n; ++i) {
            int16_t* out = buffer + 2 * (done + i);
            out[0] = AddSaturated(out[0], values[i]);
            out[1] = AddSaturated(out[1], values[i]);
        }
    }
    EndMix(frames);
}

bool SSG::Quiet() const {
    const uint32_t enable = ~static_cast<uint32_t>(registers_[7]);
    // Past its first segment the envelope of a holding shape (no continue
    // bit, or the hold bit) stays at its row's last level.
    const bool held =
        envelopeCounter_ >= 0x20000000 && (envelopeShape_ < 8 || (envelopeShape_ & 1));
    for (uint32_t i = 0; i < 3; ++i) {
        if (!(enableMask_ & (1u << i))) continue;
        const bool envelope = (registers_[8 + i] & 0x10) != 0;
        if (envelope && !held) return false;
        const int32_t level = envelope ? envelope_[envelopeShape_][63] : outputLevel_[i];
        const bool tone = (enable & (1u << i)) && toneStep_[i] <= 0x1000000;
        const bool noise = (enable & (8u << i)) != 0;
        if (level != 0 && (tone || noise)) return false;
    }
    return true;
}

int32_t SSG::LevelTable(int index) const {
    return level_[index & 31];
}

int32_t SSG::EnvelopeTable(int shape, int position) const {
    return envelope_[shape & 15][position & 63];
}

uint32_t SSG::NoiseTable(int index) {
    return Noise()[index & 1023];
}

}  // namespace FM
