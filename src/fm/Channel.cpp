// Rendering: the channels of a chip are advanced together, one sample of each
// per output frame, from copies of their operators' per-sample state (a
// `Voice` each). The copies are taken for a run of samples in which no
// envelope steps, so the sample loop does no envelope work at all; between
// runs the envelopes are clocked in bulk and the ones that are due step.
#include "fm/Channel.h"

#include <algorithm>

namespace FM {

namespace {

// One channel's per-sample state while a run renders; operators 1-4 at 0-3.
struct Voice {
    uint32_t phase[4];  // phase counters, 2^29 units per period
    uint32_t step[4];
    int32_t envelope[4];  // attenuation index, fixed for the run
    int32_t output[4];
    int32_t previousOutput1;  // operator 1's output before output[0]
    int32_t feedbackMask;     // all ones with feedback, else 0
    int32_t feedbackShift;    // (feedback sum & mask) >> this modulates operator 1
    uint32_t algorithm;
};

struct Lookup {
    const int32_t* sine;
    const int32_t* level;

    // One operator sample: the sine at the phase (counter >> 19) offset by
    // half the modulation, attenuated by the envelope; the counter moves on.
    int32_t operator()(Voice& v, int n, int32_t modulation) const {
        const uint32_t index =
            ((v.phase[n] >> 19) + static_cast<uint32_t>(modulation >> 1)) & (Tables::kSineSize - 1);
        v.phase[n] += v.step[n];
        return level[static_cast<uint32_t>(v.envelope[n]) + static_cast<uint32_t>(sine[index])];
    }
};

// One sample of one channel with algorithm A. The operators run in the order
// 3, 2, 4, 1, and the order is part of the sound: an output read before its
// operator runs is that operator's previous sample. Operator 1 runs last, so
// all its listeners (and the carrier sum of algorithm 7) hear it one sample
// late; in algorithms 0-2 operator 3 hears operator 2 one sample late.
template <int A>
[[gnu::always_inline]] inline int32_t SampleOf(Voice& v, const Lookup& op) {
    const int32_t o1 = v.output[0];
    int32_t o2 = v.output[1], o3, o4, r;
    if constexpr (A == 0) {  // 1 -> 2 -> 3 -> 4
        o3 = op(v, 2, o2), o2 = op(v, 1, o1), o4 = op(v, 3, o3), r = o4;
    } else if constexpr (A == 1) {  // (1 + 2) -> 3 -> 4
        o3 = op(v, 2, o1 + o2), o2 = op(v, 1, 0), o4 = op(v, 3, o3), r = o4;
    } else if constexpr (A == 2) {  // (1 + (2 -> 3)) -> 4
        o3 = op(v, 2, o2), o2 = op(v, 1, 0), o4 = op(v, 3, o1 + o3), r = o4;
    } else if constexpr (A == 3) {  // ((1 -> 2) + 3) -> 4
        o3 = op(v, 2, 0), o2 = op(v, 1, o1), o4 = op(v, 3, o2 + o3), r = o4;
    } else if constexpr (A == 4) {  // (1 -> 2) + (3 -> 4)
        o3 = op(v, 2, 0), o2 = op(v, 1, o1), o4 = op(v, 3, o3), r = o2 + o4;
    } else if constexpr (A == 5) {  // 1 -> each of 2, 3, 4
        o3 = op(v, 2, o1), o2 = op(v, 1, o1), o4 = op(v, 3, o1), r = o2 + o3 + o4;
    } else if constexpr (A == 6) {  // (1 -> 2) + 3 + 4
        o3 = op(v, 2, 0), o2 = op(v, 1, o1), o4 = op(v, 3, 0), r = o2 + o3 + o4;
    } else {  // 1 + 2 + 3 + 4
        o3 = op(v, 2, 0), o2 = op(v, 1, 0), o4 = op(v, 3, 0), r = o1 + o2 + o3 + o4;
    }
    // Operator 1 modulates itself with the sum of its last two outputs.
    const int32_t feedback = ((o1 + v.previousOutput1) & v.feedbackMask) >> v.feedbackShift;
    v.previousOutput1 = o1;
    v.output[0] = op(v, 0, feedback);
    v.output[1] = o2;
    v.output[2] = o3;
    v.output[3] = o4;
    return r;
}

[[gnu::always_inline]] inline int32_t Sample(Voice& v, const Lookup& op) {
    switch (v.algorithm) {
        case 0:
            return SampleOf<0>(v, op);
        case 1:
            return SampleOf<1>(v, op);
        case 2:
            return SampleOf<2>(v, op);
        case 3:
            return SampleOf<3>(v, op);
        case 4:
            return SampleOf<4>(v, op);
        case 5:
            return SampleOf<5>(v, op);
        case 6:
            return SampleOf<6>(v, op);
        default:
            return SampleOf<7>(v, op);
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
template <int Count>
void RenderRun(Voice (&voices)[3], const Lookup& op, int32_t* accumulator, int32_t frames) {
    Voice a = voices[0], b = voices[1], c = voices[2];
    for (int32_t i = 0; i < frames; ++i) {
        int32_t sum = Sample(a, op);
        if constexpr (Count > 1) sum += Sample(b, op);
        if constexpr (Count > 2) sum += Sample(c, op);
        accumulator[i] += sum;
    }
    voices[0] = a;
    voices[1] = b;
    voices[2] = c;
}

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
        v.phase[n] = op.PhaseCounter();
        v.step[n] = op.PhaseStep();
        v.envelope[n] = op.EnvelopeOutput();
        v.output[n] = op.Output();
    }
    v.previousOutput1 = ch.GetOperator(0).PreviousOutput();
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
    Operator* ops[12];
    const int opCount = 4 * count;
    for (int c = 0; c < count; ++c) {
        for (int n = 0; n < 4; ++n) ops[4 * c + n] = &channels[c]->op_[n];
    }
    const Tables& t = Tables::Get();
    const Lookup lookup{t.sine, t.level};
    Voice voices[3];
    while (frames > 0) {
        // The first sample clocks every envelope when one of them is due to
        // step; the run then lasts until the next step of any of them.
        bool due = false;
        for (int k = 0; k < opCount; ++k) due |= ops[k]->QuietSamples() == 0;
        if (due) {
            for (int k = 0; k < opCount; ++k) ops[k]->ClockEnvelope();
        }
        int32_t quiet = Operator::kForever;
        for (int k = 0; k < opCount; ++k) quiet = std::min(quiet, ops[k]->QuietSamples());
        const int32_t run = std::min<int64_t>(frames, int64_t{quiet} + due);

        for (int c = 0; c < count; ++c) Load(voices[c], *channels[c]);
        switch (count) {
            case 1:
                RenderRun<1>(voices, lookup, accumulator, run);
                break;
            case 2:
                RenderRun<2>(voices, lookup, accumulator, run);
                break;
            default:
                RenderRun<3>(voices, lookup, accumulator, run);
                break;
        }
        for (int c = 0; c < count; ++c) {
            const Voice& v = voices[c];
            for (int n = 0; n < 4; ++n) {
                Operator& op = channels[c]->op_[n];
                op.phaseCounter_ = v.phase[n];
                op.output_ = v.output[n];
            }
            channels[c]->op_[0].previousOutput_ = v.previousOutput1;
        }
        for (int k = 0; k < opCount; ++k) ops[k]->AdvanceEnvelope(run - due);
        accumulator += run;
        frames -= run;
    }
}

}  // namespace FM
