#include "fm/Channel.h"

namespace FM {

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

// One sample of each algorithm. The evaluation order is part of the sound:
// an operator whose output is read before it is computed in the same sample
// contributes its previous sample. Operator 1 (with feedback) always runs last,
// so every modulator input `op_[0].Output()` is one sample old, and in
// algorithm 7 the carrier sum gets operator 1's output of the sample before.
template <int Algorithm>
inline int32_t Channel::Sample() {
    Operator& o1 = op_[0];
    Operator& o2 = op_[1];
    Operator& o3 = op_[2];
    Operator& o4 = op_[3];
    int32_t r = 0;
    if constexpr (Algorithm == 0) {
        o3.Compute(o2.Output());
        o2.Compute(o1.Output());
        r = o4.Compute(o3.Output());
    } else if constexpr (Algorithm == 1) {
        o3.Compute(o1.Output() + o2.Output());
        o2.Compute(0);
        r = o4.Compute(o3.Output());
    } else if constexpr (Algorithm == 2) {
        o3.Compute(o2.Output());
        o2.Compute(0);
        r = o4.Compute(o1.Output() + o3.Output());
    } else if constexpr (Algorithm == 3) {
        o3.Compute(0);
        o2.Compute(o1.Output());
        r = o4.Compute(o2.Output() + o3.Output());
    } else if constexpr (Algorithm == 4) {
        o3.Compute(0);
        r = o2.Compute(o1.Output());
        r += o4.Compute(o3.Output());
    } else if constexpr (Algorithm == 5) {
        r = o3.Compute(o1.Output());
        r += o2.Compute(o1.Output());
        r += o4.Compute(o1.Output());
    } else if constexpr (Algorithm == 6) {
        r = o3.Compute(0);
        r += o2.Compute(o1.Output());
        r += o4.Compute(0);
    } else {
        r = o3.Compute(0);
        r += o2.Compute(0);
        r += o4.Compute(0);
        return r + o1.ComputeFeedback(feedbackShift_);
    }
    o1.ComputeFeedback(feedbackShift_);
    return r;
}

int32_t Channel::NextSample() {
    switch (algorithm_) {
        case 0:
            return Sample<0>();
        case 1:
            return Sample<1>();
        case 2:
            return Sample<2>();
        case 3:
            return Sample<3>();
        case 4:
            return Sample<4>();
        case 5:
            return Sample<5>();
        case 6:
            return Sample<6>();
        default:
            return Sample<7>();
    }
}

template <int Algorithm>
void Channel::RenderWith(int32_t* accumulator, int32_t frames) {
    for (int32_t i = 0; i < frames; ++i) accumulator[i] += Sample<Algorithm>();
}

void Channel::Render(int32_t* accumulator, int32_t frames) {
    switch (algorithm_) {
        case 0:
            RenderWith<0>(accumulator, frames);
            break;
        case 1:
            RenderWith<1>(accumulator, frames);
            break;
        case 2:
            RenderWith<2>(accumulator, frames);
            break;
        case 3:
            RenderWith<3>(accumulator, frames);
            break;
        case 4:
            RenderWith<4>(accumulator, frames);
            break;
        case 5:
            RenderWith<5>(accumulator, frames);
            break;
        case 6:
            RenderWith<6>(accumulator, frames);
            break;
        default:
            RenderWith<7>(accumulator, frames);
            break;
    }
}

}  // namespace FM
