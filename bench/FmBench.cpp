// Throughput of the chip's Mix at 44100 Hz, in frames per second and as a
// multiple of real time, for the loads a song puts on it.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "fm/OPN.h"

namespace {

constexpr uint32_t kRate = 44100;
constexpr int32_t kBlock = 735;  // one 60 Hz tick

// A sustained four-operator voice (algorithm 4, feedback 5) keyed on at
// channel `ch`; no sustain rate, so it never decays to silence.
void KeyFmVoice(FM::OPN& opn, uint32_t ch) {
    opn.SetReg(0xB0 + ch, (5 << 3) | 4);
    for (uint32_t slot = 0; slot < 16; slot += 4) {
        opn.SetReg(0x30 + slot + ch, 0x01 + slot / 4);
        opn.SetReg(0x40 + slot + ch, slot == 0 ? 0x20 : 0x08);
        opn.SetReg(0x50 + slot + ch, 0x1F);
        opn.SetReg(0x60 + slot + ch, 0x05);
        opn.SetReg(0x70 + slot + ch, 0x00);
        opn.SetReg(0x80 + slot + ch, 0x27);
    }
    opn.SetReg(0xA4 + ch, (4 << 3) | 2);
    opn.SetReg(0xA0 + ch, 0x69 + 16 * ch);
    opn.SetReg(0x28, 0xF0 | ch);
}

// A voice whose envelopes step every few samples and never end: fast decay
// and sustain rates under a repeating SSG-type envelope (type 8). The chip
// cuts its sample loop wherever an envelope steps, so this is its busiest case.
void KeyBusyVoice(FM::OPN& opn, uint32_t ch) {
    opn.SetReg(0xB0 + ch, (3 << 3) | (ch * 3));  // algorithms 0, 3, 6
    for (uint32_t slot = 0; slot < 16; slot += 4) {
        opn.SetReg(0x30 + slot + ch, 0x01 + slot / 4);
        opn.SetReg(0x40 + slot + ch, 0x10);
        opn.SetReg(0x50 + slot + ch, 0x1C + slot / 4);
        opn.SetReg(0x60 + slot + ch, 0x18 + ch);
        opn.SetReg(0x70 + slot + ch, 0x14 + slot / 4);
        opn.SetReg(0x80 + slot + ch, 0x4F);
        opn.SetReg(0x90 + slot + ch, 0x08);
    }
    opn.SetReg(0xA4 + ch, (4 << 3) | 2);
    opn.SetReg(0xA0 + ch, 0x69 + 16 * ch);
    opn.SetReg(0x28, 0xF0 | ch);
}

void SsgTones(FM::OPN& opn) {
    const uint8_t writes[][2] = {{0, 0xFE}, {1, 0},    {2, 0x40}, {3, 1},  {4, 0x80},
                                 {5, 0},    {7, 0x38}, {8, 12},   {9, 11}, {10, 10}};
    for (const auto& w : writes) opn.SetReg(w[0], w[1]);
}

void SsgEnvelopeAndNoise(FM::OPN& opn) {
    const uint8_t writes[][2] = {{0, 0xFE}, {2, 0x40}, {3, 1},   {6, 7},     {7, 0x30},
                                 {8, 0x10}, {9, 0x10}, {10, 12}, {11, 0x40}, {13, 14}};
    for (const auto& w : writes) opn.SetReg(w[0], w[1]);
}

template <typename Setup>
void RunMix(benchmark::State& state, Setup setup) {
    FM::OPN opn;
    opn.Init(3993600, kRate);
    setup(opn);
    std::vector<int16_t> buffer(2 * kBlock, 0);
    int64_t frames = 0;
    for (auto _ : state) {
        opn.Mix(buffer.data(), kBlock);
        benchmark::DoNotOptimize(buffer.data());
        frames += kBlock;
    }
    state.counters["frames_per_second"] =
        benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
    state.counters["x_real_time"] =
        benchmark::Counter(static_cast<double>(frames) / kRate, benchmark::Counter::kIsRate);
}

void BM_MixFullLoad(benchmark::State& state) {
    RunMix(state, [](FM::OPN& opn) {
        for (uint32_t ch = 0; ch < 3; ++ch) KeyFmVoice(opn, ch);
        SsgTones(opn);
    });
}

void BM_MixFmOnly(benchmark::State& state) {
    RunMix(state, [](FM::OPN& opn) {
        for (uint32_t ch = 0; ch < 3; ++ch) KeyFmVoice(opn, ch);
    });
}

void BM_MixBusyEnvelopes(benchmark::State& state) {
    RunMix(state, [](FM::OPN& opn) {
        for (uint32_t ch = 0; ch < 3; ++ch) KeyBusyVoice(opn, ch);
    });
}

void BM_MixSsgEnvelopeNoise(benchmark::State& state) {
    RunMix(state, SsgEnvelopeAndNoise);
}

void BM_MixSilence(benchmark::State& state) {
    RunMix(state, [](FM::OPN&) {});
}

}  // namespace

BENCHMARK(BM_MixFullLoad);
BENCHMARK(BM_MixFmOnly);
BENCHMARK(BM_MixBusyEnvelopes);
BENCHMARK(BM_MixSsgEnvelopeNoise);
BENCHMARK(BM_MixSilence);

BENCHMARK_MAIN();
