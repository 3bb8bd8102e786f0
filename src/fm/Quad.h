// Four 32-bit integer lanes, for stepping the SSG's four sub-steps of a frame
// at once and for writing the FM operators' rows. SSE2 where the compiler
// targets it (every native build, and the WebAssembly build, whose compiler
// maps it onto WebAssembly's SIMD); otherwise plain arrays (any build with
// VELNARI_FM_PORTABLE defined, which the tests use to compare the two).
// Every operation is exact integer arithmetic on each lane, so both give the
// same bits.
#pragma once

#include <cstdint>

#if defined(__SSE2__) && !defined(VELNARI_FM_PORTABLE)
#include <emmintrin.h>
#endif

namespace FM {

#if defined(__SSE2__) && !defined(VELNARI_FM_PORTABLE)

struct Quad {
    __m128i v;

    static Quad All(uint32_t x) { return {_mm_set1_epi32(static_cast<int32_t>(x))}; }
    // Lanes 0-3 from a, b, c, d.
    static Quad Of(uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
        return {_mm_setr_epi32(static_cast<int32_t>(a), static_cast<int32_t>(b),
                               static_cast<int32_t>(c), static_cast<int32_t>(d))};
    }
    friend Quad operator+(Quad a, Quad b) { return {_mm_add_epi32(a.v, b.v)}; }
    friend Quad operator&(Quad a, Quad b) { return {_mm_and_si128(a.v, b.v)}; }
    friend Quad operator|(Quad a, Quad b) { return {_mm_or_si128(a.v, b.v)}; }
    friend Quad operator^(Quad a, Quad b) { return {_mm_xor_si128(a.v, b.v)}; }
    // Logical shift of every lane.
    template <int Bits>
    Quad ShiftRight() const {
        return {_mm_srli_epi32(v, Bits)};
    }
    // All ones in the lanes whose top bit is set, else 0.
    Quad TopBitMask() const { return {_mm_srai_epi32(v, 31)}; }
    // Each lane, as a signed value, divided by 4 and truncated towards 0.
    Quad QuarterTowardZero() const {
        const __m128i bias = _mm_srli_epi32(_mm_srai_epi32(v, 31), 30);
        return {_mm_srai_epi32(_mm_add_epi32(v, bias), 2)};
    }
    uint32_t Lane0() const { return static_cast<uint32_t>(_mm_cvtsi128_si32(v)); }
    // The four lanes to out[0..3].
    void Store(uint32_t* out) const { _mm_storeu_si128(reinterpret_cast<__m128i*>(out), v); }
    // The four lanes added, as a signed value.
    int32_t Sum() const {
        const __m128i pairs = _mm_add_epi32(v, _mm_shuffle_epi32(v, _MM_SHUFFLE(1, 0, 3, 2)));
        return _mm_cvtsi128_si32(
            _mm_add_epi32(pairs, _mm_shuffle_epi32(pairs, _MM_SHUFFLE(2, 3, 0, 1))));
    }
};

#else

struct Quad {
    uint32_t v[4];

    static Quad All(uint32_t x) { return {{x, x, x, x}}; }
    static Quad Of(uint32_t a, uint32_t b, uint32_t c, uint32_t d) { return {{a, b, c, d}}; }
    template <typename Op>
    static Quad Each(Quad a, Quad b, Op op) {
        return {{op(a.v[0], b.v[0]), op(a.v[1], b.v[1]), op(a.v[2], b.v[2]), op(a.v[3], b.v[3])}};
    }
    friend Quad operator+(Quad a, Quad b) {
        return Each(a, b, [](uint32_t x, uint32_t y) { return x + y; });
    }
    friend Quad operator&(Quad a, Quad b) {
        return Each(a, b, [](uint32_t x, uint32_t y) { return x & y; });
    }
    friend Quad operator|(Quad a, Quad b) {
        return Each(a, b, [](uint32_t x, uint32_t y) { return x | y; });
    }
    friend Quad operator^(Quad a, Quad b) {
        return Each(a, b, [](uint32_t x, uint32_t y) { return x ^ y; });
    }
    template <int Bits>
    Quad ShiftRight() const {
        return {{v[0] >> Bits, v[1] >> Bits, v[2] >> Bits, v[3] >> Bits}};
    }
    Quad TopBitMask() const {
        Quad q;
        for (int i = 0; i < 4; ++i) q.v[i] = 0u - (v[i] >> 31);
        return q;
    }
    Quad QuarterTowardZero() const {
        Quad q;
        for (int i = 0; i < 4; ++i) q.v[i] = static_cast<uint32_t>(static_cast<int32_t>(v[i]) / 4);
        return q;
    }
    uint32_t Lane0() const { return v[0]; }
    void Store(uint32_t* out) const {
        for (int i = 0; i < 4; ++i) out[i] = v[i];
    }
    int32_t Sum() const { return static_cast<int32_t>(v[0] + v[1] + v[2] + v[3]); }
};

#endif

// `value` in out[0] to out[count - 1], written eight entries at a time (up
// to seven more, which the caller leaves room for): two stores per eight.
inline void Spread(int32_t* out, int32_t count, int32_t value) {
    const Quad all = Quad::All(static_cast<uint32_t>(value));
    auto* at = reinterpret_cast<uint32_t*>(out);
    for (uint32_t* const end = at + count; at < end; at += 8) {
        all.Store(at);
        all.Store(at + 4);
    }
}

}  // namespace FM
