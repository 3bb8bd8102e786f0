#pragma once
// Part lists as the user writes them on the command line ("1,4,6") and the
// chip's channel mute mask they become.
//
// Parts are numbered 1 to 6 here, as in the song source: 1-3 play on the FM
// channels, 4-6 on the SSG channels A-C.

#include <cstdint>
#include <string_view>

namespace cli {

namespace PartSelection {

// A set of parts as bits: bit 0 = part 1 ... bit 5 = part 6.
using PartBits = uint32_t;
constexpr PartBits kAllParts = 0x3F;

// Reads a comma-separated list of part numbers 1 to 6 (blanks around the
// numbers allowed, repeats harmless). Throws CliError (usage) on anything
// else, an empty list included.
PartBits Parse(std::string_view text);

// The chip mask that mutes exactly the given parts: part bits 0-2 stay at
// bits 0-2 (FM 1-3), part bits 3-5 move to bits 6-8 (SSG A-C).
uint32_t ChipMaskMuting(PartBits muted);

}  // namespace PartSelection

}  // namespace cli
