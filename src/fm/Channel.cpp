// Rendering: the channels of a chip are advanced together, one sample of each
// per output frame, from copies of their operators' per-sample state (a
// `Voice` each), taken at the start of a render and put back at its end.
// A render goes in spans: first each operator writes its envelope output for
// every sample of the span (Operator::RenderEnvelope, which steps an envelope
// that moves every few samples in a tight loop of its own), then the sample
// loop reads those outputs and does no envelope work at all, however busy
// the envelopes are.
#include "fm/Channel.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <utility>

#include "fm/Quad.h"

namespace FM {

namespace {

// What one channel's sample changes; operators 1-4 at 0-3.
struct Moving {
    int32_t output[4];
    int32_t previousOutput1;  // operator 1's output before output[0]
};

// One channel's state while it renders.
struct Voice {
    Moving moving;
    int32_t feedbackMask;   // all ones with feedback, else 0
    int32_t feedbackShift;  // (feedback sum & mask) >> this is operator 1's phase offset
    uint32_t algorithm;
};

constexpr int32_t kSpan = OperatorSpans::kSpan;

// The rows' phase entries and the sine table's values, in units of
// 1 << kRowShift. WebAssembly computes each address as a 32-bit sum in an
// instruction of its own; only a constant offset rides in the load, and the
// compiler puts a table's address there only when told (TableLoad). So that
// build keeps them as byte offsets (× 4): the sine look-up is an add, a mask
// and one load, and the level look-up scales only the envelope, which is not
// on operator 1's feedback path. Native code scales an index inside the load.
#if defined(__wasm__)
constexpr int kRowShift = 2;

// The entry at byte `offset` of the table at byte `Field` of Tables::built.
template <std::size_t Field>
[[gnu::always_inline]] inline int32_t TableLoad(uint32_t offset) {
    int32_t value;
    __asm__("local.get %1\n\ti32.load %2+%3\n\tlocal.set %0"
            : "=r"(value)
            : "r"(offset), "i"(&Tables::built), "n"(Field));
    return value;
}
#else
constexpr int kRowShift = 0;
#endif

// A phase offset in the rows' units, from half of an operator's output;
// below the unit it may carry bits that the sine look-up masks off.
[[gnu::always_inline]] inline uint32_t ModulationOffset(int32_t modulation) {
#if defined(__wasm__)
    return static_cast<uint32_t>(modulation) << (kRowShift - 1);
#else
    return static_cast<uint32_t>(modulation >> 1);
#endif
}

struct Lookup {
    const OperatorSpans* spans;

    // Sample `i` of operator n of the channel in rows `Row` to `Row` + 3:
    // the sine at the phase moved on by `offset` (in the rows' units), attenuated
    // by the envelope's output. `at` is the spans' address plus 4 * `i`, so that
    // every row's entry is a constant offset from it (one address per sample,
    // which WebAssembly folds into its loads).
    template <int Row>
    [[gnu::always_inline]] int32_t At(int n, const unsigned char* at, uint32_t offset) const {
        constexpr std::size_t kRow = sizeof(int32_t) * OperatorSpans::kStride;
        uint32_t phase;
        uint32_t envelope;
        std::memcpy(&phase, at + offsetof(OperatorSpans, phase) + (Row + n) * kRow, sizeof phase);
        std::memcpy(&envelope, at + offsetof(OperatorSpans, envelope) + (Row + n) * kRow,
                    sizeof envelope);
        // The phase's bits below the unit are 0, so those of `offset` carry
        // nothing into the index.
        const uint32_t index = (phase + offset) & ((Tables::kSineSize - 1) << kRowShift);
#if defined(__wasm__)
        const uint32_t sine = static_cast<uint32_t>(TableLoad<offsetof(Tables, sineBytes)>(index));
        return TableLoad<offsetof(Tables, level)>((envelope << kRowShift) + sine);
#else
        const Tables& t = Tables::built;
        return t.level[envelope + static_cast<uint32_t>(t.sine[index])];
#endif
    }
    // The same, phase-modulated by another operator's output: half of it
    // moves the phase.
    template <int Row>
    [[gnu::always_inline]] int32_t Get(int n, const unsigned char* at, int32_t modulation) const {
        return At<Row>(n, at, ModulationOffset(modulation));
    }
};

// The operators of one channel at one sample, called as op(n, modulation).
template <int Row>
struct Operators {
    const Lookup& lookup;
    const unsigned char* at;
    [[gnu::always_inline]] int32_t operator()(int n, int32_t modulation) const {
        return lookup.template Get<Row>(n, at, modulation);
    }
};

// One sample of one channel with algorithm A. The operators run in the order
// 3, 2, 4, 1, and the order is part of the sound: an output read before its
// operator runs is that operator's previous sample. Operator 1 runs last, so
// all its listeners (and the carrier sum of algorithm 7) hear it one sample
// late; in algorithms 0-2 operator 3 hears operator 2 one sample late.
template <int A, int Row>
[[gnu::always_inline]] inline int32_t SampleOf(Moving& m, const Voice& v, const Lookup& lookup,
                                               const unsigned char* at) {
    const Operators<Row> op{lookup, at};
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
#if defined(__wasm__)
    // A logical shift of a negative sum adds 1 << (32 - shift), above the
    // sine's bits, and without feedback the shift of 30 leaves bits below
    // the unit only: the look-up masks both off (one instruction less on
    // this path than a mask and an arithmetic shift).
    const uint32_t feedback = static_cast<uint32_t>(o1 + m.previousOutput1) >> v.feedbackShift;
#else
    const auto feedback =
        static_cast<uint32_t>(((o1 + m.previousOutput1) & v.feedbackMask) >> v.feedbackShift);
#endif
    m.previousOutput1 = o1;
    m.output[0] = lookup.template At<Row>(0, at, feedback);
    m.output[1] = o2;
    m.output[2] = o3;
    m.output[3] = o4;
    return r;
}

// `N` consecutive samples of one channel (from `at` on), for one jump on
// the algorithm per N samples.
template <int N>
struct Run {
    int32_t sample[N];
};

template <int A, int Row, std::size_t... K>
[[gnu::always_inline]] inline Run<sizeof...(K)> RunOf(Moving& m, const Voice& v,
                                                      const Lookup& lookup, const unsigned char* at,
                                                      std::index_sequence<K...>) {
    // A braced list is evaluated in order: sample K before sample K + 1.
    return {{SampleOf<A, Row>(m, v, lookup, at + sizeof(int32_t) * K)...}};
}

template <int N, int Row>
[[gnu::always_inline]] inline Run<N> Samples(Moving& m, const Voice& v, const Lookup& op,
                                             const unsigned char* at) {
    constexpr auto k = std::make_index_sequence<N>{};
    switch (v.algorithm) {
        case 0:
            return RunOf<0, Row>(m, v, op, at, k);
        case 1:
            return RunOf<1, Row>(m, v, op, at, k);
        case 2:
            return RunOf<2, Row>(m, v, op, at, k);
        case 3:
            return RunOf<3, Row>(m, v, op, at, k);
        case 4:
            return RunOf<4, Row>(m, v, op, at, k);
        case 5:
            return RunOf<5, Row>(m, v, op, at, k);
        case 6:
            return RunOf<6, Row>(m, v, op, at, k);
        case 7:
            return RunOf<7, Row>(m, v, op, at, k);
        default:
            __builtin_unreachable();  // an algorithm is 0..7
    }
}

// N samples of `Count` channels, added to accumulator[0..N-1].
template <int N, int Count>
[[gnu::always_inline]] inline void RenderRun(Moving& a, Moving& b, Moving& c, const Voice& va,
                                             const Voice& vb, const Voice& vc, const Lookup& l,
                                             const unsigned char* at, int32_t* accumulator) {
    Run<N> sum = Samples<N, 0>(a, va, l, at);
    if constexpr (Count > 1) {
        const Run<N> more = Samples<N, 4>(b, vb, l, at);
        for (int k = 0; k < N; ++k) sum.sample[k] += more.sample[k];
    }
    if constexpr (Count > 2) {
        const Run<N> more = Samples<N, 8>(c, vc, l, at);
        for (int k = 0; k < N; ++k) sum.sample[k] += more.sample[k];
    }
    for (int k = 0; k < N; ++k) accumulator[k] += sum.sample[k];
}

// The sample loop, over `Count` channels at once, kRun samples of each at a
// time. One channel's sample is bound by the latency of operator 1's
// feedback chain (output -> phase -> two table look-ups -> output), not by
// its instruction count; with the channels side by side in one loop, their
// chains overlap. Each channel picks its algorithm's code by a switch on
// data (a perfectly predicted jump), so one loop serves any mix of
// algorithms without a loop per combination. The voices are local copies:
// their state can stay in registers, and no store to the accumulator can
// alias it.
template <int Count>
void RenderSpan(Voice (&voices)[3], const Lookup& lookup, int32_t* accumulator, int32_t frames) {
    // More costs code size for little. In WebAssembly, fewer: the browser
    // keeps fewer values in registers across the runs' jumps, and four
    // samples of three channels spill (1.1 times as fast with two).
#if defined(__wasm__)
    constexpr int32_t kRun = 2;
#else
    constexpr int32_t kRun = 4;
#endif
    const Voice va = voices[0], vb = voices[1], vc = voices[2];
    const Lookup l = lookup;
    Moving a = va.moving, b = vb.moving, c = vc.moving;
    const auto* rows = reinterpret_cast<const unsigned char*>(l.spans);
    auto at = [&](int32_t i) { return rows + sizeof(int32_t) * static_cast<uint32_t>(i); };
    int32_t i = 0;
    for (; i + kRun <= frames; i += kRun) {
        RenderRun<kRun, Count>(a, b, c, va, vb, vc, l, at(i), accumulator + i);
    }
    for (; i < frames; ++i) RenderRun<1, Count>(a, b, c, va, vb, vc, l, at(i), accumulator + i);
    voices[0].moving = a;
    voices[1].moving = b;
    voices[2].moving = c;
}

[[gnu::noinline]] void RenderSpan(int count, Voice (&voices)[3], const Lookup& lookup,
                                  int32_t* accumulator, int32_t frames) {
    switch (count) {
        case 1:
            RenderSpan<1>(voices, lookup, accumulator, frames);
            break;
        case 2:
            RenderSpan<2>(voices, lookup, accumulator, frames);
            break;
        default:
            RenderSpan<3>(voices, lookup, accumulator, frames);
            break;
    }
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
    OperatorSpans spans;
    Render(&self, 1, accumulator, frames, spans);
}

namespace {

void Load(Voice& v, const Channel& ch) {
    for (int n = 0; n < 4; ++n) {
        const Operator& op = ch.GetOperator(n);
        v.moving.output[n] = op.Output();
    }
    v.moving.previousOutput1 = ch.GetOperator(0).PreviousOutput();
    // A shift of 31 means no feedback. Otherwise the phase offset is
    // ((sum << 17) >> shift) >> 19, which is sum >> (shift + 2) exactly
    // (the sum fits in 15 bits), in the rows' units a shift of kRowShift less
    // (its bits below the unit are masked off in the look-up).
    const int32_t shift = ch.FeedbackShift();
    v.feedbackMask = shift < 31 ? -1 : 0;
    v.feedbackShift = shift < 31 ? shift + 2 - kRowShift : (kRowShift == 2 ? 30 : 0);
    v.algorithm = ch.Algorithm();
}

// The sine index of a phase counter at each of `frames` samples (rounded up
// to eight), in the rows' units, from `counter` on by `step` a sample.
void WritePhases(uint32_t* row, uint32_t counter, uint32_t step, int32_t frames) {
    const uint32_t s = step;
    Quad low = Quad::Of(counter, counter + s, counter + 2 * s, counter + 3 * s);
    Quad high = low + Quad::All(4 * s);
    const Quad eight = Quad::All(8 * s);
    const Quad whole = Quad::All(~0u << kRowShift);
    for (uint32_t* const end = row + frames; row < end; row += 8) {
        (low.ShiftRight<19 - kRowShift>() & whole).Store(row);
        (high.ShiftRight<19 - kRowShift>() & whole).Store(row + 4);
        low = low + eight;
        high = high + eight;
    }
}

}  // namespace

void Channel::RenderSpans(OperatorSpans& spans, int row, int32_t frames) {
    for (int n = 0; n < 4; ++n) {
        Operator& op = op_[n];
        int32_t* out = spans.envelope[row + n];
        int32_t& held = spans.held[row + n];
        // An envelope that holds an attenuation past the level table's last
        // sound through the span silences the operator whatever its phase:
        // its phase row is not read, and need not be written.
        bool silent = false;
        if (op.QuietSamples() < frames) {
            op.RenderEnvelope(out, frames);
            held = -1;
        } else {
            // The envelope stands still through the span: the row needs
            // writing only when it holds something else (all of it, so that
            // it serves any later span too).
            const int32_t value = op.EnvelopeOutput();
            if (held != value) {
                Spread(out, kSpan, value);
                held = value;
            }
            op.AdvanceEnvelope(frames);
            silent = value >= Tables::built.silentFrom;
        }
        if (!silent) WritePhases(spans.phase[row + n], op.phaseCounter_, op.phaseStep_, frames);
        op.phaseCounter_ += static_cast<uint32_t>(frames) * op.phaseStep_;
    }
}

void Channel::Render(Channel* const* channels, int count, int32_t* accumulator, int32_t frames,
                     OperatorSpans& spans) {
    count = std::clamp(count, 0, 3);
    frames = std::max(frames, 0);
    const Lookup lookup{&spans};
    Voice voices[3];
    for (int c = 0; c < count; ++c) Load(voices[c], *channels[c]);
    for (int32_t done = 0; done < frames; done += kSpan) {
        const int32_t n = std::min(kSpan, frames - done);
        for (int c = 0; c < count; ++c) channels[c]->RenderSpans(spans, 4 * c, n);
        RenderSpan(count, voices, lookup, accumulator + done, n);
    }
    for (int c = 0; c < count; ++c) {
        const Moving& m = voices[c].moving;
        for (int n = 0; n < 4; ++n) channels[c]->op_[n].output_ = m.output[n];
        channels[c]->op_[0].previousOutput_ = m.previousOutput1;
    }
}

// Without feedback an operator's output is a function of its phase, its
// envelope and outputs at most two samples old, so a channel's outputs after
// any four samples are those of a render of them alone, whatever came
// before: the samples up to the last four need only their phase counters
// and envelopes moved on. With feedback, operator 1's output hears its
// whole history, and it is computed at every sample (RunChains); the
// other three still wait for the last four samples.
void Channel::Skip(int32_t frames) {
    for (Operator& op : op_) {
        if (&op == &op_[0] && feedbackShift_ < 31) continue;
        op.phaseCounter_ += static_cast<uint32_t>(frames) * op.phaseStep_;
        op.SkipEnvelope(frames);
    }
}

namespace {

// Operator 1 of a channel with feedback, as the sample loop computes it
// (see Load): its outputs, phase and the envelope row of the span.
struct Chain {
    int32_t output;
    int32_t previous;
    uint32_t phase;
    uint32_t step;
    int32_t shift;
    const int32_t* envelope;
};

// `frames` samples of `Count` chains side by side, so that their latencies
// (two dependent table look-ups a sample) overlap.
template <int Count>
void RunChains(Chain* chains, int32_t frames) {
    const Tables& t = Tables::built;
    Chain c[Count];
    for (int k = 0; k < Count; ++k) c[k] = chains[k];
    for (int32_t i = 0; i < frames; ++i) {
#pragma GCC unroll 3
        for (int k = 0; k < Count; ++k) {
            const int32_t feedback = (c[k].output + c[k].previous) >> c[k].shift;
            c[k].previous = c[k].output;
            const uint32_t index = ((c[k].phase >> 19) + static_cast<uint32_t>(feedback >> 1)) &
                                   (Tables::kSineSize - 1);
            c[k].output = t.level[static_cast<uint32_t>(c[k].envelope[i]) +
                                  static_cast<uint32_t>(t.sine[index])];
            c[k].phase += c[k].step;
        }
    }
    for (int k = 0; k < Count; ++k) chains[k] = c[k];
}

}  // namespace

void Channel::Advance(Channel* const* channels, int count, int32_t frames, OperatorSpans& spans) {
    constexpr int32_t kHeard = 4;  // samples that fix every output (see Skip)
    count = std::clamp(count, 0, 3);
    frames = std::max(frames, 0);
    const int32_t skipped = std::max(frames - kHeard, 0);
    Operator* fed[3];
    Chain chains[3];
    int chained = 0;
    for (int c = 0; c < count && skipped > 0; ++c) {
        Channel& ch = *channels[c];
        ch.Skip(skipped);
        if (ch.feedbackShift_ >= 31) continue;
        Operator& op = ch.op_[0];
        fed[chained] = &op;
        chains[chained] = {op.output_,    op.previousOutput_,    op.phaseCounter_,
                           op.phaseStep_, ch.feedbackShift_ + 1, spans.envelope[chained]};
        spans.held[chained] = -1;
        ++chained;
    }
    for (int32_t done = 0; chained > 0 && done < skipped; done += kSpan) {
        const int32_t n = std::min(kSpan, skipped - done);
        for (int k = 0; k < chained; ++k) fed[k]->RenderEnvelope(spans.envelope[k], n);
        switch (chained) {
            case 1:
                RunChains<1>(chains, n);
                break;
            case 2:
                RunChains<2>(chains, n);
                break;
            default:
                RunChains<3>(chains, n);
                break;
        }
    }
    for (int k = 0; k < chained; ++k) {
        fed[k]->phaseCounter_ = chains[k].phase;
        fed[k]->output_ = chains[k].output;
        fed[k]->previousOutput_ = chains[k].previous;
    }
    int32_t scratch[kHeard] = {};
    Render(channels, count, scratch, frames - skipped, spans);
}

}  // namespace FM
