// Throughput of the chip's Mix at 44100 Hz, in frames per second and as a
// multiple of real time, for the loads a song puts on it.
//
// `bench_fm --load=NAME --frames=N` instead mixes N frames of one load (the
// benchmark's name without BM_Mix) in the benchmark's calls, outside the
// benchmark framework, and exits: a fixed amount of work for counting
// instructions (`valgrind --tool=callgrind`; the count for N frames minus
// the count for 0 frames, divided by N, is the cost of a frame).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
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

// A drum-and-arpeggio load, as busy songs are: three FM voices with fast
// decays and a sustain rate (envelopes that never settle), SSG A and B on
// noise and the repeating hardware envelope (shape 10), C on a tone. The
// parts take turns to be played again, one every 2 ms (see BusyEvent), so
// each part is keyed every 12 ms.
void BusyParts(FM::OPN& opn) {
    for (uint32_t ch = 0; ch < 3; ++ch) {
        opn.SetReg(0xB0 + ch, (6 << 3) | (ch == 0 ? 4 : ch == 1 ? 2 : 5));
        for (uint32_t slot = 0; slot < 16; slot += 4) {
            opn.SetReg(0x30 + slot + ch, 0x01 + 2 * (slot / 4));
            opn.SetReg(0x40 + slot + ch, slot == 4 ? 0x06 : 0x1C);
            opn.SetReg(0x50 + slot + ch, 0x5F);
            opn.SetReg(0x60 + slot + ch, 0x0E + ch + slot / 4);
            opn.SetReg(0x70 + slot + ch, 0x06 + slot / 4);
            opn.SetReg(0x80 + slot + ch, 0x5A);
        }
    }
    const uint8_t writes[][2] = {{0, 0x80},  {2, 0x20},  {4, 0xC0},  {5, 0},
                                 {6, 0x05},  {7, 0x20},  {8, 0x10},  {9, 0x10},
                                 {10, 0x0D}, {11, 0x60}, {12, 0x00}, {13, 0x0A}};
    for (const auto& w : writes) opn.SetReg(w[0], w[1]);
}

// Event n of the busy load: part n % 6 plays a new note (FM: key off, a new
// frequency, key on; SSG: a new period, and on A and B a restarted envelope).
void BusyEvent(FM::OPN& opn, uint32_t n) {
    static constexpr uint8_t kNotes[8] = {0x69, 0x84, 0x9E, 0xB1, 0x69, 0xC8, 0x9E, 0x84};
    const uint32_t part = n % 6, note = kNotes[(n / 6) % 8];
    if (part < 3) {
        opn.SetReg(0x28, part);
        opn.SetReg(0xA4 + part, ((3 + part) << 3) | 2);
        opn.SetReg(0xA0 + part, note);
        opn.SetReg(0x28, 0xF0 | part);
    } else {
        const uint32_t c = part - 3;
        opn.SetReg(2 * c, note);
        if (c < 2) opn.SetReg(13, c == 0 ? 0x0A : 0x08);
    }
}

// Frames between two events of the busy load: 2 ms.
constexpr int32_t kEventFrames = 88;

struct Load {
    const char* name;
    void (*setup)(FM::OPN&);
    // Called before each kEventFrames-frame call when set; otherwise the
    // load mixes kBlock frames per call and nothing changes.
    void (*event)(FM::OPN&, uint32_t);
};

const Load kLoads[] = {
    {"FullLoad",
     [](FM::OPN& opn) {
         for (uint32_t ch = 0; ch < 3; ++ch) KeyFmVoice(opn, ch);
         SsgTones(opn);
     },
     nullptr},
    {"FmOnly",
     [](FM::OPN& opn) {
         for (uint32_t ch = 0; ch < 3; ++ch) KeyFmVoice(opn, ch);
     },
     nullptr},
    {"BusyEnvelopes",
     [](FM::OPN& opn) {
         for (uint32_t ch = 0; ch < 3; ++ch) KeyBusyVoice(opn, ch);
     },
     nullptr},
    {"BusyParts", BusyParts, BusyEvent},
    {"SsgEnvelopeNoise", SsgEnvelopeAndNoise, nullptr},
    {"Silence", [](FM::OPN&) {}, nullptr},
};

// One load on a chip at kRate, mixed call by call.
class LoadRun {
  public:
    explicit LoadRun(const Load& load) : load_(load), buffer_(2 * kBlock, 0) {
        opn_.Init(3993600, kRate);
        load_.setup(opn_);
    }
    // One call; returns the frames it mixed.
    int32_t Next() {
        if (!load_.event) {
            opn_.Mix(buffer_.data(), kBlock);
            return kBlock;
        }
        load_.event(opn_, events_++);
        opn_.Mix(buffer_.data(), kEventFrames);
        return kEventFrames;
    }
    const int16_t* Buffer() const { return buffer_.data(); }

  private:
    const Load& load_;
    FM::OPN opn_;
    std::vector<int16_t> buffer_;
    uint32_t events_ = 0;
};

void RunMix(benchmark::State& state, const Load& load) {
    LoadRun run(load);
    int64_t frames = 0;
    for (auto _ : state) {
        frames += run.Next();
        benchmark::DoNotOptimize(run.Buffer());
    }
    state.counters["frames_per_second"] =
        benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
    state.counters["x_real_time"] =
        benchmark::Counter(static_cast<double>(frames) / kRate, benchmark::Counter::kIsRate);
}

// --load=NAME --frames=N: N frames of one load, or -1 for an unknown load.
int MixFixed(const std::string& name, int64_t frames) {
    for (const Load& load : kLoads) {
        if (name != load.name) continue;
        LoadRun run(load);
        int64_t done = 0;
        int64_t sum = 0;
        while (done < frames) {
            done += run.Next();
            sum += run.Buffer()[0];
        }
        std::printf("%s: %lld frames (%lld)\n", load.name, static_cast<long long>(done),
                    static_cast<long long>(sum));
        return 0;
    }
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    std::string load;
    int64_t frames = -1;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--load=", 7) == 0) load = argv[i] + 7;
        if (std::strncmp(argv[i], "--frames=", 9) == 0) frames = std::atoll(argv[i] + 9);
    }
    if (!load.empty() && frames >= 0) {
        if (MixFixed(load, frames) == 0) return 0;
        std::fprintf(stderr, "bench_fm: no load %s\n", load.c_str());
        return 2;
    }
    for (const Load& l : kLoads) {
        benchmark::RegisterBenchmark((std::string("BM_Mix") + l.name).c_str(), RunMix, l);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
