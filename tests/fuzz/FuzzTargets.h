#pragma once
// The fuzz targets: each takes arbitrary bytes and drives one input surface of
// the player with them. libFuzzer runs them through FuzzMain.cpp (one
// executable per target, clang only); the corpus replay test runs the same
// functions on every stored seed and regression input in every build.
//
// A target returns 0. A broken invariant (beyond what the sanitizers catch)
// is reported on standard error and aborts, which both libFuzzer and the
// replay test count as a failure.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace fuzz {

using Target = int (*)(const uint8_t* data, std::size_t size);

// The bytes as a song file, compiled.
int CompileSong(const uint8_t* data, std::size_t size);

// A four-byte header (output rate, render request sizes, the two output
// volumes), then a song file: opened through a Player and rendered for a few
// seconds of output, in host-sized pieces.
int RenderSong(const uint8_t* data, std::size_t size);

// A stream of operations on the sound generator: register writes, mixes,
// volume, mask, rate and reset calls.
int DriveChip(const uint8_t* data, std::size_t size);

// The bytes as the settings file, read as the player reads its volumes.
int ReadSettings(const uint8_t* data, std::size_t size);

#ifdef VELNARI_FUZZ_REGLOG
// The bytes as a register-log file: read, written back as VGM, played.
int ReadLog(const uint8_t* data, std::size_t size);
#endif

struct NamedTarget {
    std::string_view name;  // also the corpus folder name
    Target run;
};

inline constexpr NamedTarget kTargets[] = {
    {"compile", CompileSong}, {"render", RenderSong},
    {"chip", DriveChip},      {"settings", ReadSettings},
#ifdef VELNARI_FUZZ_REGLOG
    {"reglog", ReadLog},
#endif
};

// The header that RenderSong reads before the song text.
struct RenderHeader {
    uint32_t rate;         // one of kRenderRates
    uint32_t requestSize;  // bytes per host render request, not always a whole frame
    int32_t fmVolume;      // half decibels
    int32_t ssgVolume;
};
inline constexpr uint32_t kRenderRates[] = {8000, 11025, 22050, 44100, 48000, 96000, 192000};
inline constexpr std::size_t kRenderHeaderSize = 4;
RenderHeader DecodeRenderHeader(const uint8_t* data, std::size_t size);

}  // namespace fuzz

// Aborts with a message when an invariant does not hold.
#define FUZZ_CHECK(condition) \
    ((condition) ? (void)0 : ::fuzz::CheckFailed(#condition, __FILE__, __LINE__))

namespace fuzz {
[[noreturn]] void CheckFailed(const char* condition, const char* file, int line);

// Names the input being replayed, so a broken invariant or a sanitizer report
// says which stored file caused it; empty when none is.
void SetCurrentInput(std::string name);
}  // namespace fuzz
