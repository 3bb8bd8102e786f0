// Seeded random register-write streams through the chip, each summed up as a
// hash of every sample it mixed, and the hashes recorded from an earlier
// build of the chip. Any change to a single output sample of any stream
// changes its hash, so the chip's code can be rearranged for speed with the
// streams standing guard over its bits.
//
// A stream is a pseudo-random program for an `FM::OPN`: an output rate and
// clock, voices written register by register with rates biased towards the
// fast (envelopes that step every few samples, SSG-type envelopes), key-ons
// and key-offs every few milliseconds, frequency and channel-3 writes, SSG
// tones, noise and hardware envelopes, prescaler writes, gains, channel
// masks, resets and rate changes, between `Mix` calls of 0 to several
// thousand frames into buffers that may already be near full scale.
#pragma once

#include <cstdint>

namespace fmstreams {

// Splitmix64: the same sequence on every platform and compiler.
class Random {
  public:
    explicit Random(uint64_t seed) : state_(seed) {}
    uint32_t Next();
    // Uniform enough in 0..n-1 for n far below 2^32.
    uint32_t Below(uint32_t n) { return n ? Next() % n : 0; }
    bool OneIn(uint32_t n) { return Below(n) == 0; }

  private:
    uint64_t state_;
};

// The FNV-1a hash of every sample of every Mix of stream `seed`.
uint64_t RenderStream(uint32_t seed);

inline constexpr int kStreamCount = 128;
// RenderStream(0..kStreamCount-1) as the chip rendered them when recorded.
extern const uint64_t kRecordedHashes[kStreamCount];

}  // namespace fmstreams
