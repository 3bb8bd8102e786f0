// Renders 60 s of the six-part demo song at 44100 Hz through the engine in
// host-sized requests (1024 frames, as a 4096-byte host buffer). Compiling the
// song is outside the timed loop; each iteration restarts the piece (as a seek
// does) and renders it. "x_realtime" is seconds of audio per second of CPU
// time. A second benchmark runs only the ticks of the same 60 s, without
// mixing; a third measures a seek three minutes into the piece (the run-ahead
// behind --start, the plug-in's exact seek and watch mode's reloads), which
// should stay under 0.1 s, beside the same seek rendering the frames it drops
// (as seeks did before), and seeks with the piece's snapshots, the first and
// the ones after. The last renders in the web page's quanta, with and
// without asking each part what it sounds in each.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/Engine.h"
#include "mml/Compile.h"
#include "playback/FrameSource.h"
#include "playback/Snapshots.h"

namespace {

constexpr uint32_t kRate = 44100;
constexpr uint32_t kSeconds = 60;
constexpr int32_t kRequestFrames = 1024;

// The demo song at kRate; null (and the benchmark skipped) if it fails.
std::unique_ptr<engine::Engine> OpenDemo(benchmark::State& state) {
    const Tarsel::FileCompileResult compiled =
        Tarsel::CompileFile(VELNARI_SOURCE_DIR "/examples/demo.mml");
    if (!compiled.song) {
        state.SkipWithError("examples/demo.mml does not compile");
        return nullptr;
    }
    return std::make_unique<engine::Engine>(compiled.song, kRate);
}

void BM_PlayerRender60s(benchmark::State& state) {
    const auto engine = OpenDemo(state);
    if (!engine) return;
    std::vector<int16_t> buffer(static_cast<std::size_t>(kRequestFrames) * 2);
    const int64_t totalFrames = int64_t{kRate} * kSeconds;
    for (auto _ : state) {
        engine->Restart();
        for (int64_t done = 0; done < totalFrames; done += kRequestFrames) {
            engine->Render(buffer.data(), kRequestFrames);
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
    const auto engine = OpenDemo(state);
    if (!engine) return;
    const int64_t ticks = int64_t{kRate} * kSeconds / engine->FramesPerTick();
    for (auto _ : state) {
        engine->Restart();
        for (int64_t t = 0; t < ticks; ++t) engine->SkipTick();
        benchmark::DoNotOptimize(engine->Tick());
    }
    state.counters["ticks"] = static_cast<double>(ticks);
    state.counters["x_realtime"] = benchmark::Counter(
        static_cast<double>(kSeconds) * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_SequencerTicks60s)->Unit(benchmark::kMicrosecond);

// A fresh start and three minutes of the demo rendered and dropped, as a
// seek from anywhere to 3:00 costs.
void BM_SeekTo3Minutes(benchmark::State& state) {
    const auto engine = OpenDemo(state);
    if (!engine) return;
    constexpr int64_t kTarget = int64_t{kRate} * 180;
    for (auto _ : state) {
        engine->SeekToFrame(kTarget);
        benchmark::DoNotOptimize(engine->Frame());
    }
}
BENCHMARK(BM_SeekTo3Minutes)->Unit(benchmark::kMillisecond);

// The same three minutes rendered and dropped, as a seek did before the
// run-ahead left the sound out: the baseline in the same run.
void BM_SeekTo3MinutesRendering(benchmark::State& state) {
    const auto engine = OpenDemo(state);
    if (!engine) return;
    constexpr int64_t kTarget = int64_t{kRate} * 180;
    std::vector<int16_t> buffer(std::size_t{2} * 4096);
    for (auto _ : state) {
        engine->SeekToFrame(0);
        while (engine->Frame() < kTarget) {
            engine->Render(buffer.data(), static_cast<int32_t>(
                                              std::min<int64_t>(4096, kTarget - engine->Frame())));
        }
        benchmark::DoNotOptimize(buffer.data());
    }
}
BENCHMARK(BM_SeekTo3MinutesRendering)->Unit(benchmark::kMillisecond);

// Seeks through the playback layer with the piece's trail of snapshots. With
// an argument of 0, the first seek to 3:00 (a new trail each time: the
// run-ahead, noting a snapshot at the start of every stretch); with 1, seeks
// from anywhere to 1:31.9 and 3:03.9 in turn once the trail is there (a
// restore and most of a stretch run ahead, the longest way from a snapshot).
void BM_SeekWithSnapshots(benchmark::State& state) {
    const auto engine = OpenDemo(state);
    if (!engine) return;
    const bool first = state.range(0) == 0;
    const auto newTrail = [&engine] {
        return std::make_shared<playback::Snapshots>(engine->SharedSong(), kRate, engine::Volumes{},
                                                     0);
    };
    auto trail = newTrail();
    constexpr int64_t kTarget = int64_t{kRate} * 180;
    if (!first) playback::Seek(*engine, kTarget, {}, INT64_MAX, trail);
    int64_t seeks = 0;
    for (auto _ : state) {
        if (first) {
            trail = newTrail();
            engine->SeekToFrame(0);
            playback::Seek(*engine, kTarget, {}, INT64_MAX, trail);
        } else {
            const double seconds = seeks % 2 == 0 ? 91.9 : 183.9;
            playback::Seek(*engine, std::llround(seconds * kRate), {}, INT64_MAX, trail);
        }
        ++seeks;
        benchmark::DoNotOptimize(engine->Frame());
    }
    state.counters["snapshots"] = static_cast<double>(trail->Count());
    // The trail's memory, scaled to ten minutes of the piece.
    state.counters["kB_per_10min"] =
        static_cast<double>(trail->Bytes()) / 1000.0 * 600.0 / (first ? 180.0 : 184.0);
}
BENCHMARK(BM_SeekWithSnapshots)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The web page's audio quanta (128 frames) of the same 60 s; with an
// argument of 1, each quantum also asks every part what it sounds. The two
// times' difference is the asking's cost.
void BM_QuantaAsking(benchmark::State& state) {
    const auto engine = OpenDemo(state);
    if (!engine) return;
    constexpr int32_t kQuantum = 128;
    const bool ask = state.range(0) != 0;
    std::vector<int16_t> buffer(static_cast<std::size_t>(kQuantum) * 2);
    const int64_t totalFrames = int64_t{kRate} * kSeconds;
    for (auto _ : state) {
        engine->Restart();
        for (int64_t done = 0; done < totalFrames; done += kQuantum) {
            engine->Render(buffer.data(), kQuantum);
            if (!ask) continue;
            for (int part = 0; part < song::kPartCount; ++part) {
                const engine::Sounding now = engine->NowSounding(part);
                benchmark::DoNotOptimize(now);
            }
        }
        benchmark::DoNotOptimize(buffer.data());
    }
}
BENCHMARK(BM_QuantaAsking)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
