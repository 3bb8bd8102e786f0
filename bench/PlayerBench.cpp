// Renders 60 s of the six-part demo song at 44100 Hz through the Player in
// host-sized requests. Compiling the song is outside the timed loop; each
// iteration restarts the piece (as a seek does) and renders it.
// "x_realtime" is seconds of audio per second of CPU time. A second benchmark
// runs only the ticks of the same 60 s, without mixing.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "plugin/Player.h"
#include "sequencer/Sequencer.h"

namespace {

constexpr uint32_t kRate = 44100;
constexpr uint32_t kSeconds = 60;
constexpr uint32_t kRequestBytes = 4096;

// Opens the demo song at kRate; false (and the benchmark skipped) if it fails.
bool OpenDemo(Player& player, benchmark::State& state) {
    SoundInfo info{};
    info.samplesPerSec = kRate;
    if (player.Open(VELNARI_SOURCE_DIR "/examples/demo.mml", &info)) return true;
    state.SkipWithError("examples/demo.mml does not open");
    return false;
}

void BM_PlayerRender60s(benchmark::State& state) {
    Player player(0, 0);
    if (!OpenDemo(player, state)) return;
    std::vector<uint8_t> buffer(kRequestBytes);
    const uint64_t totalBytes = uint64_t{kRate} * kSeconds * 4;
    for (auto _ : state) {
        player.Seek();
        for (uint64_t done = 0; done < totalBytes; done += kRequestBytes) {
            player.Render(buffer.data(), kRequestBytes);
        }
        benchmark::DoNotOptimize(buffer.data());
        benchmark::ClobberMemory();
    }
    state.counters["x_realtime"] = benchmark::Counter(
        static_cast<double>(kSeconds) * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_PlayerRender60s)->Unit(benchmark::kMillisecond);

// The sequencer's own share: the ticks of the same 60 s, run without mixing.
void BM_SequencerTicks60s(benchmark::State& state) {
    Player player(0, 0);
    if (!OpenDemo(player, state)) return;
    const int64_t ticks = int64_t{kRate} * kSeconds / player.GetSequencer()->SamplesPerTick();
    for (auto _ : state) {
        player.Seek();
        Sequencer& sequencer = *player.GetSequencer();
        for (int64_t t = 0; t < ticks; ++t) sequencer.Tick();
        benchmark::DoNotOptimize(sequencer.CurrentTick());
    }
    state.counters["ticks"] = static_cast<double>(ticks);
    state.counters["x_realtime"] = benchmark::Counter(
        static_cast<double>(kSeconds) * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_SequencerTicks60s)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
