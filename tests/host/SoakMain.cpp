// soak: a media player left looping one song for days. Plays SONG through the
// plug-in's entry points for HOURS hours of audio at 44100 Hz (default 28:
// past 2^32 frames, where a 32-bit frame count wraps) and checks, as it goes:
//   - the output never goes silent or sticks: every second of it has sound,
//     more than two sample values, and differs from the second before;
//   - every pass of every part's loop after the first (which holds the intro)
//     lasts exactly as long as the second, and the ticks keep pace with the
//     frames;
//   - each song-wide loop pass carries the energy of the first one after the
//     intro, within kEnergyTolerance;
//   - memory stays flat: the heap blocks and bytes in use, and on Linux the
//     resident size, at every hour equal those after the first hour.
//
//   soak SONG [HOURS] [--huge]
//
// Requests cycle through sizes a host uses, some not whole frames. --huge
// makes one request of 4 GiB - 1 bytes (1 073 741 823 frames, 6.8 hours of
// audio) into a real buffer of that size, on 64-bit hosts only.
// Prints a summary and "soak: N passed, N failed"; exits 1 when a check failed.

#include <algorithm>
#include <array>
#include <atomic>
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <new>
#include <string>
#include <vector>

#include "engine/Engine.h"
#include "engine/LoopDetector.h"
#include "mml/Compile.h"
#include "plugin/EntryPoints.h"
#include "plugin/Player.h"

// The replacements pair malloc with free; GCC cannot see that through inlining.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

namespace {
// Heap in use through operator new: each block carries its size in front.
constexpr std::size_t kHeader = 16;
std::atomic<int64_t> g_blocks{0};
std::atomic<int64_t> g_bytes{0};
}  // namespace

void* operator new(std::size_t size) {
    auto* block = static_cast<unsigned char*>(std::malloc(size + kHeader));
    if (block == nullptr) throw std::bad_alloc();
    std::memcpy(block, &size, sizeof size);
    g_blocks.fetch_add(1, std::memory_order_relaxed);
    g_bytes.fetch_add(static_cast<int64_t>(size), std::memory_order_relaxed);
    return block + kHeader;
}
void operator delete(void* p) noexcept {
    if (p == nullptr) return;
    auto* block = static_cast<unsigned char*>(p) - kHeader;
    std::size_t size = 0;
    std::memcpy(&size, block, sizeof size);
    g_blocks.fetch_sub(1, std::memory_order_relaxed);
    g_bytes.fetch_sub(static_cast<int64_t>(size), std::memory_order_relaxed);
    std::free(block);
}
void operator delete(void* p, std::size_t) noexcept {
    operator delete(p);
}

namespace {

constexpr uint32_t kRate = 44100;
constexpr double kEnergyTolerance = 0.05;  // relative, per song-wide pass
constexpr uint32_t kHugeRequest = 0xFFFFFFFF;
// The resident size moves by a few pages with what the C library and the
// system do; the heap figures must not move at all.
constexpr int64_t kResidentSlack = 256 * 1024;
const uint32_t kRequestSizes[] = {4096, 4098, 65536, 1764 * 4, 3, 4 * kRate};

int g_passed = 0;
int g_failed = 0;

void Check(bool ok, const std::string& what) {
    std::printf("%s %s\n", ok ? "PASS" : "FAIL", what.c_str());
    ++(ok ? g_passed : g_failed);
}

// Resident set in bytes, where the system tells it (Linux); -1 elsewhere.
int64_t ResidentBytes() {
    std::ifstream statm("/proc/self/statm");
    int64_t size = 0;
    int64_t resident = 0;
    if (!(statm >> size >> resident)) return -1;
    return resident * 4096;
}

struct Memory {
    int64_t blocks, bytes, resident;
};

Memory MemoryNow() {
    return {g_blocks.load(), g_bytes.load(), ResidentBytes()};
}

// Checks the output one second (kRate frames) at a time.
class SecondsCheck {
  public:
    void Add(const int16_t* frames, uint64_t count) {
        for (uint64_t i = 0; i < count; ++i) {
            const int16_t s = frames[2 * i];
            current_[fill_++] = s;
            if (fill_ == kRate) Close();
        }
    }
    uint64_t Seconds() const { return seconds_; }
    uint64_t Silent() const { return silent_; }
    uint64_t Stuck() const { return stuck_; }
    uint64_t FirstBad() const { return firstBad_; }

  private:
    void Close() {
        const auto [lo, hi] = std::minmax_element(current_.begin(), current_.end());
        const bool silent = std::max(std::abs(int{*lo}), std::abs(int{*hi})) < 16;
        int values = 0;
        for (std::size_t i = 1; i < current_.size() && values < 3; ++i) {
            values += current_[i] != current_[i - 1];
        }
        const bool stuck = values < 2 || (seconds_ > 0 && current_ == previous_);
        silent_ += silent;
        stuck_ += stuck;
        if ((silent || stuck) && firstBad_ == 0) firstBad_ = seconds_ + 1;
        previous_ = current_;
        fill_ = 0;
        ++seconds_;
    }

    std::vector<int16_t> current_ = std::vector<int16_t>(kRate);
    std::vector<int16_t> previous_ = std::vector<int16_t>(kRate);
    std::size_t fill_ = 0;
    uint64_t seconds_ = 0, silent_ = 0, stuck_ = 0, firstBad_ = 0;
};

// Sum of squares of each song-wide pass: windows of `length` frames from
// `start` on.
class PassEnergy {
  public:
    PassEnergy(uint64_t start, uint64_t length) : start_(start), length_(length) {}

    void Add(const int16_t* frames, uint64_t count) {
        for (uint64_t i = 0; i < count; ++i, ++frame_) {
            if (frame_ < start_) continue;
            const double s = frames[2 * i];
            sum_ += s * s;
            if ((frame_ - start_ + 1) % length_ == 0) {
                if (passes_ == 0) first_ = sum_;
                worst_ = std::max(worst_, std::abs(sum_ / first_ - 1.0));
                ++passes_;
                sum_ = 0;
            }
        }
    }
    uint64_t Passes() const { return passes_; }
    double Worst() const { return worst_; }

  private:
    uint64_t start_, length_, frame_ = 0, passes_ = 0;
    double sum_ = 0, first_ = 0, worst_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: soak SONG [HOURS] [--huge]\n");
        return 2;
    }
    const std::string song = argv[1];
    double hours = 28;
    bool huge = false;
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--huge") == 0) {
            huge = sizeof(void*) == 8;
        } else {
            hours = std::atof(argv[i]);
        }
    }
    const uint64_t totalFrames = static_cast<uint64_t>(hours * 3600 * kRate);

    // Where the loops lie, from a look-ahead that mixes nothing.
    const Tarsel::FileCompileResult compiled = Tarsel::CompileFile(song);
    if (!compiled.song) {
        std::fprintf(stderr, "soak: cannot compile %s\n", song.c_str());
        return 2;
    }
    int64_t framesPerTick = 0;
    uint64_t loopStart = 0;
    uint64_t loopLength = 0;
    {
        engine::Engine ahead(compiled.song, kRate);
        framesPerTick = ahead.FramesPerTick();
        const engine::LoopReport report = engine::LoopDetector::Run(ahead, 3, int64_t{1} << 24);
        if (report.songPassEnds.size() < 3) {
            std::fprintf(stderr, "soak: %s has no song-wide loop\n", song.c_str());
            return 2;
        }
        loopStart = static_cast<uint64_t>(report.songPassEnds[0] * framesPerTick);
        loopLength = static_cast<uint64_t>((report.songPassEnds[1] - report.songPassEnds[0]) *
                                           framesPerTick);
    }

    const ModuleRecord& record = *plugin::GetModuleRecord();
    SoundInfo info{kRate, 0, 0, 0, 0, 0, 0, 0};
    PluginHandle handle = record.open(song.c_str(), &info);
    if (handle == nullptr) {
        std::fprintf(stderr, "soak: cannot open %s\n", song.c_str());
        return 2;
    }
    const engine::Engine& playing = *static_cast<plugin::Player*>(handle)->Engine();

    std::vector<uint8_t> buffer(huge ? std::size_t{kHugeRequest} : 4 * kRate + 4);
    const uint64_t hugeAt = totalFrames / 3;  // the huge request starts near there
    bool hugeDone = !huge;

    SecondsCheck seconds;
    PassEnergy energy(loopStart, loopLength);
    std::array<int64_t, song::kPartCount> seen{}, lastEnd{}, passLength{};
    int64_t wrongPasses = 0;
    int64_t tickDrift = 0;
    std::vector<Memory> hourly;
    hourly.reserve(static_cast<std::size_t>(hours) + 2);  // its own growth must not count
    uint64_t frames = 0;
    uint64_t nextHour = 3600ull * kRate;
    std::size_t request = 0;
    const std::clock_t cpuStart = std::clock();

    while (frames < totalFrames) {
        uint32_t size = kRequestSizes[request++ % std::size(kRequestSizes)];
        if (!hugeDone && frames >= hugeAt) {
            size = kHugeRequest;
            hugeDone = true;
        }
        if (record.render(handle, buffer.data(), size) != size) {
            Check(false, "Render returned another size than asked");
            break;
        }
        const uint64_t got = size / 4;
        const auto* pcm = reinterpret_cast<const int16_t*>(buffer.data());
        seconds.Add(pcm, got);
        energy.Add(pcm, got);
        frames += got;

        // Loop passes of every part, and the ticks against the frames.
        for (int p = 0; p < song::kPartCount; ++p) {
            const engine::PartStatus status = playing.Part(p);
            if (!status.used || status.passes == seen[p]) continue;
            const int64_t closed = status.passes - seen[p];
            if (seen[p] >= 1 && passLength[p] == 0 && closed == 1) {
                passLength[p] = status.passEndTick - lastEnd[p];
            } else if (seen[p] >= 1 && status.passEndTick - lastEnd[p] != closed * passLength[p]) {
                ++wrongPasses;
            }
            seen[p] = status.passes;
            lastEnd[p] = status.passEndTick;
        }
        const int64_t ticksDue = static_cast<int64_t>(frames) / framesPerTick;
        tickDrift = std::max(tickDrift, std::abs(playing.Tick() - ticksDue));
        if (frames >= nextHour) {
            hourly.push_back(MemoryNow());
            nextHour += 3600ull * kRate;
        }
    }
    const double cpuSeconds = double(std::clock() - cpuStart) / CLOCKS_PER_SEC;
    const bool framesAgree = playing.Frame() == static_cast<int64_t>(frames);
    record.close(handle);

    std::printf("song %s: %" PRIu64 " frames (%.2f hours) at %" PRIu32 " Hz in %.0f s of CPU%s\n",
                song.c_str(), frames, double(frames) / kRate / 3600, kRate, cpuSeconds,
                huge ? ", one request of 4 GiB - 1 bytes among them" : "");
    std::printf("loop: starts at frame %" PRIu64 ", %" PRIu64 " frames (%.2f s) per pass\n",
                loopStart, loopLength, double(loopLength) / kRate);
    for (int p = 0; p < song::kPartCount; ++p) {
        if (seen[p] > 0) {
            std::printf("part %d: %" PRId64 " passes, %" PRId64 " ticks each after the first\n",
                        p + 1, seen[p], passLength[p]);
        }
    }
    Check(frames >= totalFrames && frames > (uint64_t{1} << 32),
          "played past 2^32 frames: " + std::to_string(frames));
    Check(framesAgree, "the engine counted the same frames as the host");
    Check(seconds.Silent() == 0 && seconds.Stuck() == 0,
          "no silent or stuck second in " + std::to_string(seconds.Seconds()) + " (silent " +
              std::to_string(seconds.Silent()) + ", stuck " + std::to_string(seconds.Stuck()) +
              ", first at second " + std::to_string(seconds.FirstBad()) + ")");
    bool measured = true;
    for (int p = 0; p < song::kPartCount; ++p) {
        measured = measured && (!compiled.song->IsPartUsed(p) || passLength[p] > 0);
    }
    Check(wrongPasses == 0 && measured, "every pass after the first as long as the second (" +
                                            std::to_string(wrongPasses) + " not)");
    Check(tickDrift <= 1,
          "ticks kept pace with the frames (worst drift " + std::to_string(tickDrift) + " ticks)");
    char worst[64];
    std::snprintf(worst, sizeof worst, "%.4f %%", energy.Worst() * 100);
    Check(energy.Passes() > 1 && energy.Worst() <= kEnergyTolerance,
          "every song-wide pass has the energy of the first after the intro: " +
              std::to_string(energy.Passes()) + " passes, worst " + worst);
    bool flat = hourly.size() >= 2;
    for (const Memory& m : hourly) {
        flat = flat && m.blocks == hourly[0].blocks && m.bytes == hourly[0].bytes &&
               (m.resident < 0 || std::abs(m.resident - hourly[0].resident) <= kResidentSlack);
    }
    const Memory last = hourly.empty() ? Memory{0, 0, 0} : hourly.back();
    const Memory first = hourly.empty() ? Memory{0, 0, 0} : hourly.front();
    std::printf("memory after hour 1: %" PRId64 " heap blocks, %" PRId64 " bytes, resident %" PRId64
                " KiB; after hour %zu: %" PRId64 " blocks, %" PRId64 " bytes, resident %" PRId64
                " KiB\n",
                first.blocks, first.bytes, first.resident / 1024, hourly.size(), last.blocks,
                last.bytes, last.resident / 1024);
    Check(flat, "memory flat from the first hour to the last");
    std::printf("soak: %d passed, %d failed\n", g_passed, g_failed);
    return g_failed == 0 ? 0 : 1;
}
