#pragma once
// A software volume envelope for SSG parts.

#include <cstdint>
#include <vector>

namespace song {

// Each level lasts stepLength ticks; the last level holds for ever. A level of
// 15 leaves the part's volume unchanged, lower levels lower it. The default
// (what an undefined envelope number reads as) is one level of 15.
struct SSGEnvelope {
    int32_t stepLength = 64;  // ticks per level; any value, as the source wrote it
    std::vector<uint8_t> levels{15};

    friend bool operator==(const SSGEnvelope&, const SSGEnvelope&) = default;
};

}  // namespace song
