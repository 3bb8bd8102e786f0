// One FM channel: four operators joined by one of eight algorithms, operator 1
// with optional self-feedback.
//
// Operators are numbered 1-4 in channel order and held at indexes 0-3.
#pragma once

#include <cstdint>

#include "fm/Operator.h"

namespace FM {

// What the sample loop of up to three channels reads about their operators
// (row 4 × channel + operator) at each sample of one span: the envelope's
// output and the sine index of the phase. Scratch space for Channel::Render,
// which a chip keeps from one render to the next, so that an envelope that
// stands still finds its row already written.
struct OperatorSpans {
    static constexpr int32_t kSpan = 256;  // samples per span
    // Each row has room for the entries past its span that its writers may
    // overwrite (they write four or eight at a time).
    static constexpr int32_t kStride = kSpan + Operator::kEnvelopeSlack;
    alignas(16) int32_t envelope[12][kStride] = {};
    alignas(16) uint32_t phase[12][kStride] = {};  // phase counter >> 19 (× 4 in WebAssembly)
    int32_t held[12] = {};  // the value every entry of an envelope row holds, or -1
};

class Channel {
  public:
    Channel();

    // The chip's rate context for all four operators; not owned.
    void SetRateContext(const RateContext* context);

    void Reset();
    // Gives all four operators the same frequency word.
    void SetFrequency(uint32_t word);
    // Bit n-1 set keys operator n on, clear keys it off (operators 1..4 in order).
    void SetKeyMask(uint32_t mask);
    // Selects the algorithm 0..7 and clears operator 1's feedback history.
    void SetConnection(uint32_t algorithm);
    // Feedback register value 0..7 (0 = none).
    void SetFeedback(uint32_t value);
    void SetMute(bool muted);

    // Refreshes the operators; returns 1 when any operator sounds, else 0.
    uint32_t PrepareMix();
    // One channel sample.
    int32_t NextSample();
    // Adds `frames` consecutive channel samples to `accumulator`; the same
    // samples as `frames` calls of NextSample.
    void Render(int32_t* accumulator, int32_t frames);
    // Adds the sum of `count` (1 to 3) distinct channels' next `frames`
    // samples to `accumulator`, advancing them together; `spans` is the
    // caller's scratch space, best the same one each time.
    static void Render(Channel* const* channels, int count, int32_t* accumulator, int32_t frames,
                       OperatorSpans& spans);
    // Leaves the channels as that Render would, without their samples.
    static void Advance(Channel* const* channels, int count, int32_t frames, OperatorSpans& spans);

    Operator& GetOperator(int index) { return op_[index & 3]; }
    const Operator& GetOperator(int index) const { return op_[index & 3]; }
    uint32_t Algorithm() const { return algorithm_; }
    int32_t FeedbackShift() const { return feedbackShift_; }

  private:
    // Writes rows `row` to `row` + 3 of `spans` for the next `frames` (at
    // most a span) samples, advancing the envelopes and phase counters.
    void RenderSpans(OperatorSpans& spans, int row, int32_t frames);
    // Moves the phase counters and envelopes `frames` samples on, all but
    // those of operator 1 when it hears itself (feedback), which Advance
    // computes; the outputs are left behind (see Advance).
    void Skip(int32_t frames);

    Operator op_[4];
    int32_t feedbackShift_ = 31;  // 31 = no feedback, else 1..7
    uint32_t algorithm_ = 0;
    const RateContext* rateContext_ = nullptr;
};

}  // namespace FM
