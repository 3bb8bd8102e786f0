#pragma once
// The extensions of the language: spellings that the plain dialect rejects,
// so a song that compiles in the plain dialect means the same with or without
// them. The compiler notes every use, in order, with where it was written;
// `check --plain` reports each use and `info` lists the kinds a song uses.

#include <array>
#include <cstdint>
#include <string_view>

namespace Tarsel {

enum class Extension : uint8_t {
    kSSGMix,       // "!p": tone, noise, both or neither on an SSG part
    kNoisePeriod,  // "!w": the SSG noise generator's period
    kTempoChange,  // "!t": a new tempo, or a ramp to one, from where a part plays it
    kLoopBreak,    // ":" inside a loop: the last pass leaves there
    kTranspose,    // "_" sets and "__" moves a part's transposition
    kVolumeStep,   // ")" raises and "(" lowers the volume
    kTag,          // "#title", "#composer", "#date", "#notes" lines
};

inline constexpr std::array<std::string_view, 7> kExtensionNames = {
    "!p", "!w", "!t", ":", "_", "()", "#tags",
};

constexpr std::string_view ExtensionName(Extension kind) {
    return kExtensionNames[static_cast<std::size_t>(kind)];
}

// One use of an extension: its kind and its bytes in the text, counted from
// the text's first byte as the caller gave it (song::SourceSpan's origin).
struct ExtensionUse {
    Extension kind;
    uint32_t offset = 0;
    uint32_t length = 0;
};

}  // namespace Tarsel
