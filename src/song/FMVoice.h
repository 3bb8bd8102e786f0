#pragma once
// An FM voice definition: the register bytes of the channel and its four
// operators, as the FM part control writes them.

#include <array>
#include <cstdint>

namespace song {

// Register values of one operator, in the order the op line fills them.
struct FMOperatorBlock {
    uint8_t dtMul = 0;  // detune (bits 6-4), multiple (bits 3-0)         -> 0x30
    uint8_t tl = 0;     // total level (bits 6-0)                          -> 0x40
    uint8_t ksAr = 0;   // key scale (bits 7-6), attack rate (bits 4-0)    -> 0x50
    uint8_t dr = 0;     // decay rate (bits 4-0)                           -> 0x60
    uint8_t sr = 0;     // sustain rate (bits 4-0)                         -> 0x70
    uint8_t slRr = 0;   // sustain level (bits 7-4), release rate (3-0)    -> 0x80
    uint8_t ratio = 0;  // 0..3: frequency-ratio index on FM channel 3; no register

    friend bool operator==(const FMOperatorBlock&, const FMOperatorBlock&) = default;
};

// A whole voice. A plain value of fixed size, copied whole.
struct FMVoice {
    std::array<int32_t, 3> lfo{};         // first three values of the lfo line; not played
    uint8_t fbAlg = 0;                    // feedback (bits 5-3), connection (bits 2-0) -> 0xB0
    std::array<FMOperatorBlock, 4> op{};  // operator 1 first, in definition order

    friend bool operator==(const FMVoice&, const FMVoice&) = default;
};

}  // namespace song
