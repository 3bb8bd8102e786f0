// Rendering: the channels of a chip are advanced together, one sample of each
// per output frame, from copies of their operators' per-sample state (a
// `Voice` each), taken at the start of a render and put back at its end.
// The render is cut into runs at the samples where some envelope steps, so
// the sample loop itself does no envelope work: between runs only the
// operators that are due step, and the others catch up in one subtraction
// when they next step or when the render ends.
#include "fm/Channel.h"

#include <algorithm>

namespace FM {

namespace {

// What one channel's sample changes; operators 1-4 at 0-3.
struct Moving {
    uint32_t phase[4];  // phase counters, 2^29 units per period
    int32_t output[4];
    int32_t previousOutput1;  // operator 1's output before output[0]
};

// One channel's state while it renders.
struct Voice {
    Moving moving;
    uint32_t step[4];
    int32_t envelope[4];    // attenuation index, fixed between envelope steps
    int32_t feedbackMask;   // all ones with feedback, else 0
    int32_t feedbackShift;  // (feedback sum & mask) >> this modulates operator 1
    uint32_t algorithm;
};

struct Lookup {
    const int32_t* sine;
    const int32_t* level;

    // One operator sample: the sine at the phase (counter >> 19) offset by
    // half the modulation, attenuated by the envelope; the counter moves on.
    int32_t operator()(Moving& m, const Voice& v, int n, int32_t modulation) const {
        const uint32_t index =
            ((m.phase[n] >> 19) + static_cast<uint32_t>(modulation >> 1)) & (Tables::kSineSize - 1);
        m.phase[n] += v.step[n];
        return level[static_cast<uint32_t>(v.envelope[n]) + static_cast<uint32_t>(sine[index])];
    }
};

// One sample of one channel with algorithm A. The operators run in the order
// 3, 2, 4, 1, and the order is part of the sound: an output read before its
// operator runs is that operator's previous sample. Operator 1 runs last, so
// all its listeners (and the carrier sum of algorithm 7) hear it one sample
// late; in algorithms 0-2 operator 3 hears operator 2 one sample late.
template <int A>
[[gnu::always_inline]] inline int32_t SampleOf(Moving& m, const Voice& v, const Lookup& lookup) {
    auto op = [&](int n, int32_t modulation) { return lookup(m, v, n, modulation); };
    const int32_t o1 = m.output[0];
    int32_t o2 = m.output[1], o3, o4, r;
    if constexpr (A == 0) {  // 1 -> 2 -> 3 -> 4
        o3 = op(2, o2), o2 = op(1, o1), o4 = op(3, o3), r = o4;
    } else if constexpr (A == 1) {  // (1 + 2) -> 3 -> 4
        o3 = op(2, o1 + o2), o2 = op(1, 0), o4 = op(3, o3), r = o4;
    } else if constexpr (A == 2) {  // (1 + (2 -> 3)) -> 4
        o3 = op(2, o2), o2 = op(1, 0), o4 = op(3, o1 + o3), r = o4;
    } else if constexpr (A == 3) {  // ((1 -> 2) + 3) -> 4
        o3 = op(2, 0), o2 = op(1, o1), o4 = op(3, o2 + o3), r = o4;
    } else if constexpr (A == 4) {  // (1 -> 2) + (3 -> 4)
        o3 = op(2, 0), o2 = op(1, o1), o4 = op(3, o3), r = o2 + o4;
    } else if constexpr (A == 5) {  // 1 -> each of 2, 3, 4
        o3 = op(2, o1), o2 = op(1, o1), o4 = op(3, o1), r = o2 + o3 + o4;
    } else if constexpr (A == 6) {  // (1 -> 2) + 3 + 4
        o3 = op(2, 0), o2 = op(1, o1), o4 = op(3, 0), r = o2 + o3 + o4;
    } else {  // 1 + 2 + 3 + 4
        o3 = op(2, 0), o2 = op(1, 0), o4 = op(3, 0), r = o1 + o2 + o3 + o4;
    }
    // Operator 1 modulates itself with the sum of its last two outputs.
    const int32_t feedback = ((o1 + m.previousOutput1) & v.feedbackMask) >> v.feedbackShift;
    m.previousOutput1 = o1;
    m.output[0] = op(0, feedback);
    m.output[1] = o2;
    m.output[2] = o3;
    m.output[3] = o4;
    return r;
}

[[gnu::always_inline]] inline int32_t Sample(Moving& m, const Voice& v, const Lookup& op) {
    switch (v.algorithm) {
        case 0:
            return SampleOf<0>(m, v, op);
        case 1:
            return SampleOf<1>(m, v, op);
        case 2:
            return SampleOf<2>(m, v, op);
        case 3:
            return SampleOf<3>(m, v, op);
        case 4:
            return SampleOf<4>(m, v, op);
        case 5:
            return SampleOf<5>(m, v, op);
        case 6:
            return SampleOf<6>(m, v, op);
        default:
            return SampleOf<7>(m, v, op);
    }
}

// The sample loop, over `Count` channels at once. One channel's sample is
// bound by the latency of operator 1's feedback chain (output -> phase -> two
// table look-ups -> output), not by its instruction count; with the channels
// side by side in one loop, their chains overlap. Each channel picks its
// algorithm's code per sample by a switch on data (a perfectly predicted
// jump), so one loop serves any mix of algorithms without a loop per
// combination. The voices are local copies: their state can stay in
// registers, and no store to the accumulator can alias it.
//
// `Clocked` is for stretches where envelopes step every few samples: each
// sample then clocks the operators' envelopes first, as a run per step would
// cost more than the step.
template <int Count, bool Clocked = false>
void RenderRun(Voice (&voices)[3], Operator* const* ops, const Lookup& op, int32_t* accumulator,
               int32_t frames) {
    Moving a = voices[0].moving, b = voices[1].moving, c = voices[2].moving;
    int32_t counter[12], counterStep[12];
    if constexpr (Clocked) {
        for (int k = 0; k < 4 * Count; ++k) {
            counter[k] = ops[k]->EnvelopeCounter();
            counterStep[k] = ops[k]->EnvelopeCounterStep();
        }
    }
    // One envelope clock of operator n of channel c.
    auto clock = [&](int c, int n) {
        const int k = 4 * c + n;
        counter[k] -= counterStep[k];
        if (counter[k] > 0) return;
        Operator& o = *ops[k];
        o.StepEnvelope();
        counter[k] = o.EnvelopeCounter();
        counterStep[k] = o.EnvelopeCounterStep();
        voices[c].envelope[n] = o.EnvelopeOutput();
    };
    auto clockChannel = [&](int c) {
        clock(c, 0);
        clock(c, 1);
        clock(c, 2);
        clock(c, 3);
    };
    for (int32_t i = 0; i < frames; ++i) {
        if constexpr (Clocked) {
            clockChannel(0);
            if constexpr (Count > 1) clockChannel(1);
            if constexpr (Count > 2) clockChannel(2);
        }
        int32_t sum = Sample(a, voices[0], op);
        if constexpr (Count > 1) sum += Sample(b, voices[1], op);
        if constexpr (Count > 2) sum += Sample(c, voices[2], op);
        accumulator[i] += sum;
    }
    voices[0].moving = a;
    voices[1].moving = b;
    voices[2].moving = c;
    if constexpr (Clocked) {
        for (int k = 0; k < 4 * Count; ++k) ops[k]->SetEnvelopeCounter(counter[k]);
    }
}

template <bool Clocked>
[[gnu::noinline]] void RenderRun(int count, Voice (&voices)[3], Operator* const* ops,
                                 const Lookup& op, int32_t* accumulator, int32_t frames) {
    switch (count) {
        case 1:
            RenderRun<1, Clocked>(voices, ops, op, accumulator, frames);
            break;
        case 2:
            RenderRun<2, Clocked>(voices, ops, op, accumulator, frames);
            break;
        default:
            RenderRun<3, Clocked>(voices, ops, op, accumulator, frames);
            break;
    }
}

// A run shorter than this is followed by a stretch of clocked samples.
constexpr int32_t kShortRun = 3;
constexpr int32_t kClockedStretch = 64;

}  // namespace

Channel::Channel() {
    SetConnection(0);
}

void Channel::SetRateContext(const RateContext* context) {
    rateContext_ = context;
    for (Operator& op : op_) op.SetRateContext(context);
}

void Channel::Reset() {
    for (Operator& op : op_) op.Reset();
}

void Channel::SetFrequency(uint32_t word) {
    for (Operator& op : op_) op.SetFrequency(word);
}

void Channel::SetKeyMask(uint32_t mask) {
    for (int n = 0; n < 4; ++n) {
        if (mask & (1u << n))
            op_[n].KeyOn();
        else
            op_[n].KeyOff();
    }
}

void Channel::SetConnection(uint32_t algorithm) {
    // The feedback history belongs to the old connection; start it afresh.
    op_[0].ClearOutputs();
    algorithm_ = algorithm & 7;
}

void Channel::SetFeedback(uint32_t value) {
    feedbackShift_ = Tables::Get().feedbackShift[value & 7];
}

void Channel::SetMute(bool muted) {
    for (Operator& op : op_) op.SetMute(muted);
}

uint32_t Channel::PrepareMix() {
    uint32_t active = 0;
    for (Operator& op : op_) {
        op.Refresh();
        if (op.Phase() != EnvelopePhase::Off) active = 1;
    }
    return active;
}

int32_t Channel::NextSample() {
    int32_t sample = 0;
    Render(&sample, 1);
    return sample;
}

void Channel::Render(int32_t* accumulator, int32_t frames) {
    Channel* self = this;
    Render(&self, 1, accumulator, frames);
}

namespace {

void Load(Voice& v, const Channel& ch) {
    for (int n = 0; n < 4; ++n) {
        const Operator& op = ch.GetOperator(n);
        v.moving.phase[n] = op.PhaseCounter();
        v.moving.output[n] = op.Output();
        v.step[n] = op.PhaseStep();
        v.envelope[n] = op.EnvelopeOutput();
    }
    v.moving.previousOutput1 = ch.GetOperator(0).PreviousOutput();
    // A shift of 31 means no feedback. Otherwise the phase offset is
    // ((sum << 17) >> shift) >> 19, which is sum >> (shift + 2) exactly
    // (the sum fits in 15 bits), and the operator halves its modulation.
    const int32_t shift = ch.FeedbackShift();
    v.feedbackMask = shift < 31 ? -1 : 0;
    v.feedbackShift = shift < 31 ? shift + 1 : 0;
    v.algorithm = ch.Algorithm();
}

}  // namespace

void Channel::Render(Channel* const* channels, int count, int32_t* accumulator, int32_t frames) {
    count = std::clamp(count, 0, 3);
    frames = std::max(frames, 0);
    const Tables& t = Tables::Get();
    const Lookup lookup{t.sine, t.level};
    Voice voices[3];
    // Per operator (4 × channel + index): the sample of this render whose
    // envelope clock steps next (`frames` when none does), and the sample up
    // to which its envelope has been clocked.
    Operator* ops[12];
    int32_t stepAt[12], clockedTo[12];
    const int opCount = 4 * count;
    for (int c = 0; c < count; ++c) {
        Load(voices[c], *channels[c]);
        for (int n = 0; n < 4; ++n) {
            const int k = 4 * c + n;
            ops[k] = &channels[c]->op_[n];
            stepAt[k] = std::min(ops[k]->QuietSamples(), frames);
            clockedTo[k] = 0;
        }
    }
    for (int32_t at = 0; at < frames;) {
        // Envelopes due at this sample step before it is computed.
        int32_t next = frames;
        for (int k = 0; k < opCount; ++k) {
            if (stepAt[k] == at) {
                Operator& op = *ops[k];
                op.AdvanceEnvelope(at - clockedTo[k]);
                op.ClockEnvelope();
                clockedTo[k] = at + 1;
                stepAt[k] = at + 1 + std::min(op.QuietSamples(), frames - at - 1);
                voices[k / 4].envelope[k % 4] = op.EnvelopeOutput();
            }
            next = std::min(next, stepAt[k]);
        }
        RenderRun<false>(count, voices, ops, lookup, accumulator + at, next - at);
        const bool busy = next - at < kShortRun;
        at = next;
        if (busy && at < frames) {
            // Envelopes step every few samples: clock them per sample for a
            // stretch, from where each one has got to.
            const int32_t end = std::min(frames, at + kClockedStretch);
            for (int k = 0; k < opCount; ++k) ops[k]->AdvanceEnvelope(at - clockedTo[k]);
            RenderRun<true>(count, voices, ops, lookup, accumulator + at, end - at);
            for (int k = 0; k < opCount; ++k) {
                clockedTo[k] = end;
                stepAt[k] = end + std::min(ops[k]->QuietSamples(), frames - end);
            }
            at = end;
        }
    }
    for (int k = 0; k < opCount; ++k) ops[k]->AdvanceEnvelope(frames - clockedTo[k]);
    for (int c = 0; c < count; ++c) {
        const Moving& m = voices[c].moving;
        for (int n = 0; n < 4; ++n) {
            channels[c]->op_[n].phaseCounter_ = m.phase[n];
            channels[c]->op_[n].output_ = m.output[n];
        }
        channels[c]->op_[0].previousOutput_ = m.previousOutput1;
    }
}

}  // namespace FM
