#pragma once
// The output format record that the host hands to Open and the plug-in fills.

#include <cstdint>

// Eight consecutive unsigned 32-bit fields, owned by the host. Open reads only
// the rate and writes all eight.
struct SoundInfo {
    uint32_t samplesPerSec;  // Hz; 0 from the host means "choose", and becomes 44100
    uint32_t channels;       // always 2
    uint32_t bitsPerSample;  // always 16
    uint32_t length;         // 0xFFFFFFFF: endless, the piece loops for ever
    uint32_t seekable;       // 0
    uint32_t unitRender;     // 0: any render size
    uint32_t reserved1;      // 0xFFFFFFFF
    uint32_t reserved2;      // 0
};
static_assert(sizeof(SoundInfo) == 32, "the host reads eight 32-bit fields");
