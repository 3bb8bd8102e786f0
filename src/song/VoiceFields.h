#pragma once
// The values of a voice definition's op and lfo lines, in the order they are
// written, and how many low bits of each a compiled voice keeps. The compiler
// packs them into a voice's register bytes (song/FMVoice.h says where each
// field lands); the warnings name a value that does not fit its field.

#include <array>
#include <cstdint>
#include <string_view>

#include "song/FMVoice.h"

namespace song {

struct VoiceField {
    std::string_view name;  // as a message names it
    uint8_t bits;           // low bits kept; 0: kept whole as a 32-bit value

    constexpr int32_t Largest() const { return bits == 0 ? -1 : (1 << bits) - 1; }
    // The value as its field stores it: the low bits only.
    constexpr uint8_t Keep(int32_t value) const {
        return static_cast<uint8_t>(static_cast<uint32_t>(value) &
                                    static_cast<uint32_t>(Largest()));
    }
};

// An op line: ten values for one operator.
namespace op_field {
enum : std::size_t { kAR, kDR, kSR, kRR, kSL, kTL, kKS, kMUL, kDT, kRatio };
}
inline constexpr std::array<VoiceField, 10> kOpLineFields = {{
    {"AR", 5},
    {"DR", 5},
    {"SR", 5},
    {"RR", 4},
    {"SL", 4},
    {"TL", 7},
    {"KS", 2},
    {"MUL", 4},
    {"DT", 3},
    {"ratio", 2},
}};

// An lfo line: three values the player does not use, then the connection and
// the feedback.
namespace lfo_field {
enum : std::size_t { kLfo1, kLfo2, kLfo3, kAlgorithm, kFeedback };
}
inline constexpr std::array<VoiceField, 5> kLfoLineFields = {{
    {"", 0},
    {"", 0},
    {"", 0},
    {"the algorithm", 3},
    {"the feedback", 3},
}};

// An operator's register bytes from the ten values of its op line, each
// keeping its low bits.
inline FMOperatorBlock PackOperator(const std::array<int32_t, 10>& v) {
    using namespace op_field;
    const auto field = [&v](std::size_t i) { return kOpLineFields[i].Keep(v[i]); };
    FMOperatorBlock op;
    op.dtMul = static_cast<uint8_t>(field(kDT) << 4 | field(kMUL));
    op.tl = field(kTL);
    op.ksAr = static_cast<uint8_t>(field(kKS) << 6 | field(kAR));
    op.dr = field(kDR);
    op.sr = field(kSR);
    op.slRr = static_cast<uint8_t>(field(kSL) << 4 | field(kRR));
    op.ratio = field(kRatio);
    return op;
}

// The connection register's byte from an lfo line's algorithm and feedback.
inline uint8_t PackConnection(int32_t algorithm, int32_t feedback) {
    using namespace lfo_field;
    return static_cast<uint8_t>(kLfoLineFields[kFeedback].Keep(feedback) << 3 |
                                kLfoLineFields[kAlgorithm].Keep(algorithm));
}

}  // namespace song
