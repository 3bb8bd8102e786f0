// Deliberate choices:
// - With an SSG-type envelope the attenuation is offset and possibly inverted
//   (offset - level); during an attack or after a release from an inverted
//   state that sum can fall below 0. It is clamped to 0 (full volume) as well
//   as to 1023, so the level-table lookup never leaves the table.
// - A refresh that needs the SSG-type offset and direction while the cycle is
//   still -1 (a key-on made while the SSG-type envelope was off) uses the
//   cycle-0 entry.
// - The envelope counter step is limited to 2^30 so the count-down cannot
//   overflow, whatever the ratio; real output rates stay far below the limit.
#include "fm/Operator.h"

#include <algorithm>
#include <type_traits>

#include "fm/Quad.h"

namespace FM {

namespace {
constexpr int32_t kMaxEnvelopeCounterStep = 1 << 30;

// Samples whose envelope clock leaves `counter` above 0 when each subtracts `step`.
int32_t SamplesBeforeStep(int32_t counter, int32_t step) {
    if (counter <= 0) return 0;
    return step > 0 ? (counter - 1) / step : Operator::kForever;
}
}  // namespace

Operator::Operator() : tables_(&Tables::Get()) {}

void Operator::Reset() {
    totalLevel_ = totalLevelLatch_ = 127;
    EnterPhase(static_cast<int32_t>(EnvelopePhase::Off));
    SetEnvelopeCounter(0);
    envelopeStepCount_ = 0;
    ssgCycle_ = 0;
    phaseCounter_ = 0;
    output_ = previousOutput_ = 0;
    needsRefresh_ = true;
}

void Operator::SetFrequency(uint32_t word) {
    phaseBase_ = (word & 0x7FF) << ((word >> 11) & 7);
    keyCode_ = tables_->keyCode[(word >> 7) & 127];
    needsRefresh_ = true;
}

void Operator::SetDetune(uint32_t detune) {
    detuneOffset_ = (detune & 7) * 32;
    needsRefresh_ = true;
}

void Operator::SetMultiple(uint32_t multiple) {
    multiple_ = multiple & 15;
    needsRefresh_ = true;
}

void Operator::SetKeyScale(uint32_t keyScale) {
    keyScale_ = static_cast<int32_t>(keyScale & 3);
    needsRefresh_ = true;
}

void Operator::SetAttackRate(uint32_t rate) {
    attackRate_ = static_cast<int32_t>(rate & 63);
    needsRefresh_ = true;
}

void Operator::SetDecayRate(uint32_t rate) {
    decayRate_ = static_cast<int32_t>(rate & 63);
    needsRefresh_ = true;
}

void Operator::SetSustainRate(uint32_t rate) {
    sustainRate_ = static_cast<int32_t>(rate & 63);
    needsRefresh_ = true;
}

void Operator::SetReleaseRate(uint32_t rate) {
    releaseRate_ = static_cast<int32_t>(rate & 63);
    needsRefresh_ = true;
}

void Operator::SetSustainLevel(uint32_t level) {
    sustainLevel_ = static_cast<int32_t>(std::min<uint32_t>(level, 127));
    needsRefresh_ = true;
}

void Operator::SetSSGType(uint32_t type) {
    // Takes effect at the next refresh or phase change.
    ssgType_ = (type & 8) ? static_cast<int32_t>(type & 15) : 0;
}

void Operator::SetMute(bool muted) {
    muted_ = muted;
    needsRefresh_ = true;
}

void Operator::SetTotalLevel(uint32_t level, bool csm) {
    int32_t value = static_cast<int32_t>(level & 127);
    if (!csm) {
        totalLevel_ = value;
        needsRefresh_ = true;
    }
    totalLevelLatch_ = value;
}

void Operator::KeyOn() {
    if (keyed_) return;
    keyed_ = true;
    if (phase_ == EnvelopePhase::Off || phase_ == EnvelopePhase::Release) {
        ssgCycle_ = -1;
        EnterPhase(static_cast<int32_t>(EnvelopePhase::Attack));
        UpdateEnvelopeOutput();
        output_ = previousOutput_ = 0;
        phaseCounter_ = 0;
    }
}

void Operator::KeyOff() {
    if (!keyed_) return;
    keyed_ = false;
    EnterPhase(static_cast<int32_t>(EnvelopePhase::Release));
}

int32_t Operator::RateWithKeyScale(int32_t rate) const {
    return rate ? std::min(63, rate + keyScaleRate_) : 0;
}

void Operator::SetEnvelopeRate(int32_t rate) {
    envelopeRate_ = rate;
    uint64_t step = static_cast<uint64_t>(tables_->rateMultiplier[rate >> 2]) *
                    (rateContext_ ? rateContext_->Ratio() : 0);
    envelopeCounterStep_ = static_cast<int32_t>(std::min<uint64_t>(step, kMaxEnvelopeCounterStep));
    reloadQuietSamples_ = SamplesBeforeStep(Tables::kEnvelopeCounterReload, envelopeCounterStep_);
    quietSamples_ = SamplesBeforeStep(envelopeCounter_, envelopeCounterStep_);
}

void Operator::SetEnvelopeCounter(int32_t counter) {
    envelopeCounter_ = counter;
    quietSamples_ = SamplesBeforeStep(counter, envelopeCounterStep_);
}

// Offset and direction of the SSG-type envelope for the current cycle. The
// selector depends on how fast the attack is: 56 and above for types 8 and 12,
// 60 and above for the others.
void Operator::LoadSSGType() {
    int32_t type = ssgType_ & 7;
    int32_t threshold = (ssgType_ == 8 || ssgType_ == 12) ? 56 : 60;
    int32_t selector = attackRate_ >= threshold ? 1 : 0;
    int32_t cycle = ssgCycle_ < 0 ? 0 : ssgCycle_;
    ssgOffset_ = tables_->ssgTypeOffset[type][selector][cycle] * 512;
    ssgDirection_ = tables_->ssgTypeDirection[type][selector][cycle];
}

void Operator::Refresh() {
    if (!needsRefresh_) return;
    needsRefresh_ = false;

    const Tables& t = *tables_;
    uint32_t multiplier = rateContext_ ? rateContext_->StepMultiplier(multiple_) : 0;
    // Unsigned on purpose: a negative detune on a tiny phase base wraps, as
    // does the product.
    phaseStep_ = (phaseBase_ +
                  static_cast<uint32_t>(static_cast<int32_t>(t.detune[detuneOffset_ + keyCode_]))) *
                 multiplier;

    keyScaleRate_ = static_cast<int32_t>(keyCode_ >> (3 - keyScale_));
    totalLevelAttenuation_ = muted_ ? 1023 : totalLevel_ * 8;

    switch (phase_) {
        case EnvelopePhase::Attack:
            SetEnvelopeRate(RateWithKeyScale(attackRate_));
            break;
        case EnvelopePhase::Decay:
            SetEnvelopeRate(RateWithKeyScale(decayRate_));
            nextPhaseLevel_ = sustainLevel_ * 8;
            break;
        case EnvelopePhase::Sustain:
            SetEnvelopeRate(RateWithKeyScale(sustainRate_));
            break;
        case EnvelopePhase::Release:
            SetEnvelopeRate(std::min(63, releaseRate_ + keyScaleRate_));
            break;
        case EnvelopePhase::Off:
            break;
    }
    if (SSGTypeOn() && phase_ != EnvelopePhase::Release) LoadSSGType();
    UpdateEnvelopeOutput();
}

void Operator::UpdateEnvelopeOutput() {
    int32_t attenuation = SSGTypeOn() ? totalLevelAttenuation_ + level_ * ssgDirection_ + ssgOffset_
                                      : totalLevelAttenuation_ + level_;
    envelopeOutput_ = std::clamp(attenuation, 0, 1023) * 8;
}

// Phase changes. Each request falls through to the next phase when its
// condition fails: a very fast attack goes straight to decay, a zero sustain
// level skips decay, and a release from a (nearly) silent level ends at once.
void Operator::EnterPhase(int32_t next) {
    switch (next) {
        case static_cast<int32_t>(EnvelopePhase::Attack):
            totalLevel_ = totalLevelLatch_;
            if (SSGTypeOn()) {
                ssgCycle_ = ssgCycle_ + 1 > 2 ? 1 : ssgCycle_ + 1;
                LoadSSGType();
            }
            if (attackRate_ + keyScaleRate_ < 62) {
                SetEnvelopeRate(RateWithKeyScale(attackRate_));
                phase_ = EnvelopePhase::Attack;
                return;
            }
            [[fallthrough]];
        case static_cast<int32_t>(EnvelopePhase::Decay):
            if (sustainLevel_ != 0) {
                level_ = 0;
                nextPhaseLevel_ = sustainLevel_ * 8;
                if (SSGTypeOn()) nextPhaseLevel_ = std::min(nextPhaseLevel_, 512);
                SetEnvelopeRate(RateWithKeyScale(decayRate_));
                phase_ = EnvelopePhase::Decay;
                return;
            }
            [[fallthrough]];
        case static_cast<int32_t>(EnvelopePhase::Sustain):
            level_ = sustainLevel_ * 8;
            nextPhaseLevel_ = SSGTypeOn() ? 512 : 1024;
            SetEnvelopeRate(RateWithKeyScale(sustainRate_));
            phase_ = EnvelopePhase::Sustain;
            return;
        case static_cast<int32_t>(EnvelopePhase::Release):
            if (SSGTypeOn()) {
                level_ = level_ * ssgDirection_ + ssgOffset_;
                ssgDirection_ = 1;
                ssgOffset_ = 0;
            }
            if (phase_ == EnvelopePhase::Attack || level_ < 955) {
                nextPhaseLevel_ = 1024;
                SetEnvelopeRate(std::min(63, releaseRate_ + keyScaleRate_));
                phase_ = EnvelopePhase::Release;
                return;
            }
            [[fallthrough]];
        default:
            level_ = 955;
            nextPhaseLevel_ = 955;
            UpdateEnvelopeOutput();
            SetEnvelopeRate(0);
            phase_ = EnvelopePhase::Off;
            return;
    }
}

// One envelope step, run when the envelope counter has counted down.
void Operator::EnvelopeStep() {
    const Tables& t = *tables_;
    envelopeCounter_ = Tables::kEnvelopeCounterReload;
    quietSamples_ = reloadQuietSamples_;
    uint32_t column = envelopeStepCount_ & 7;

    if (phase_ == EnvelopePhase::Attack) {
        int32_t shift = t.attackShift[envelopeRate_][column];
        if (shift >= 0) {
            level_ -= 1 + (level_ >> shift);
            if (level_ <= 0) EnterPhase(static_cast<int32_t>(EnvelopePhase::Decay));
        }
        UpdateEnvelopeOutput();
    } else if (!SSGTypeOn()) {
        level_ += t.decayStep[envelopeRate_][column];
        if (level_ >= nextPhaseLevel_) EnterPhase(static_cast<int32_t>(phase_) + 1);
        UpdateEnvelopeOutput();
    } else {
        level_ += 4 * t.decayStep[envelopeRate_][column];
        if (level_ >= nextPhaseLevel_) {
            UpdateEnvelopeOutput();
            switch (phase_) {
                case EnvelopePhase::Decay:
                    EnterPhase(static_cast<int32_t>(EnvelopePhase::Sustain));
                    break;
                case EnvelopePhase::Sustain:
                    EnterPhase(static_cast<int32_t>(EnvelopePhase::Attack));
                    break;
                case EnvelopePhase::Release:
                    EnterPhase(static_cast<int32_t>(EnvelopePhase::Off));
                    break;
                default:
                    break;
            }
        }
    }
    ++envelopeStepCount_;
}

}  // namespace FM

namespace FM {

void Operator::RenderEnvelope(int32_t* out, int32_t samples) {
    int32_t at = 0;
    for (;;) {
        const int32_t quiet = std::min(quietSamples_, samples - at);
        Spread(out + at, quiet, envelopeOutput_);
        AdvanceEnvelope(quiet);
        at += quiet;
        if (at == samples) return;
        // This sample's clock reaches 0: the step comes before the sample
        // sounds (and reloads the counter, so the last count-down is moot).
        EnvelopeStep();
        out[at++] = envelopeOutput_;
        at = StepEvenly(out, at, samples);
    }
}

void Operator::SkipEnvelope(int32_t samples) {
    for (;;) {
        const int32_t quiet = std::min(quietSamples_, samples);
        AdvanceEnvelope(quiet);
        samples -= quiet;
        if (samples == 0) return;
        EnvelopeStep();
        --samples;
    }
}

// After a step at sample `at` - 1: the steps that follow within `samples`,
// each `gap` + 1 samples after the one before, for as long as the phase and
// its rate last; the step that ends the phase is left to EnvelopeStep. Only
// the level, the step count and the output change from step to step (each
// step reloads the counter), so they stay in locals. Returns the first
// sample not written.
int32_t Operator::StepEvenly(int32_t* out, int32_t at, int32_t samples) {
    const int32_t gap = reloadQuietSamples_;
    if (phase_ == EnvelopePhase::Off || quietSamples_ != gap || gap >= samples - at) return at;
    const Tables& t = *tables_;
    const bool ssg = SSGTypeOn();
    int32_t level = level_, value = envelopeOutput_;
    uint32_t count = envelopeStepCount_;
    if (phase_ != EnvelopePhase::Attack && ssg) {
        // An SSG-type decay, sustain or release moves only the level (by
        // four times the usual step); the output waits for the phase's end.
        const int8_t* steps = t.decayStep[envelopeRate_];
        const int32_t end = nextPhaseLevel_;
        int32_t to = at;
        while (gap < samples - to && level + 4 * steps[count & 7] < end) {
            level += 4 * steps[count & 7];
            ++count;
            to += gap + 1;
        }
        Spread(out + at, to - at, value);
        at = to;
    } else if (phase_ != EnvelopePhase::Attack) {
        // A plain decay, sustain or release: the level and the output move
        // at every step, the output as offset + level (no clamp: the level
        // only grows, from a sum at or above 0) until that reaches full
        // attenuation; from there on only the level moves.
        const int8_t* steps = t.decayStep[envelopeRate_];
        const int32_t end = nextPhaseLevel_, offset = totalLevelAttenuation_;
        if (offset + level < 0) return at;
        const int32_t last = samples - gap;  // a step and its quiet samples fit before this
        auto run = [&](auto shortGap) {
            while (at < last) {
                const int32_t next = level + steps[count & 7];
                if (next >= end || offset + next >= 1023) break;
                // The quiet samples keep the old output (one store where
                // steps are frequent).
                Spread(out + at, decltype(shortGap)::value ? 1 : gap, value);
                at += gap;
                level = next;
                ++count;
                value = (offset + level) * 8;
                out[at++] = value;
            }
        };
        if (gap < 8) {
            run(std::true_type{});
        } else {
            run(std::false_type{});
        }
        int32_t to = at;
        while (to < last && level + steps[count & 7] < end) {
            level += steps[count & 7];
            ++count;
            to += gap + 1;
        }
        if (to > at) {
            // The quiet samples before the first of these steps keep the old output.
            constexpr int32_t kSilent = 1023 * 8;
            Spread(out + at, gap, value);
            Spread(out + at + gap, to - at - gap, kSilent);
            value = kSilent;
            at = to;
        }
    } else {
        const int8_t* shifts = t.attackShift[envelopeRate_];
        // UpdateEnvelopeOutput's sum, as offset + level × direction.
        const int32_t offset = totalLevelAttenuation_ + (ssg ? ssgOffset_ : 0);
        const int32_t direction = ssg ? ssgDirection_ : 1;
        while (gap < samples - at) {
            const int32_t shift = shifts[count & 7];
            const int32_t next = shift < 0 ? level : level - 1 - (level >> shift);
            if (next <= 0) break;
            Spread(out + at, gap, value);
            at += gap;
            level = next;
            ++count;
            value = std::clamp(offset + level * direction, 0, 1023) * 8;
            out[at++] = value;
        }
    }
    level_ = level;
    envelopeStepCount_ = count;
    envelopeOutput_ = value;
    return at;
}

}  // namespace FM
