#include "options/PartSelection.h"

#include <string>

#include "CliError.h"

namespace cli {

namespace PartSelection {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

[[noreturn]] void Reject(std::string_view text) {
    throw CliError(kExitUsage, "bad part list '" + std::string(text) +
                                   "': expected part numbers 1 to 6 separated by commas");
}

}  // namespace

PartBits Parse(std::string_view text) {
    PartBits bits = 0;
    std::size_t i = 0;
    for (;;) {
        while (i < text.size() && IsBlank(text[i])) ++i;
        if (i >= text.size() || text[i] < '1' || text[i] > '6') Reject(text);
        bits |= PartBits{1} << (text[i] - '1');
        ++i;
        while (i < text.size() && IsBlank(text[i])) ++i;
        if (i == text.size()) return bits;
        if (text[i] != ',') Reject(text);
        ++i;
    }
}

uint32_t ChipMaskMuting(PartBits muted) {
    return (muted & 0x07) | ((muted & 0x38) << 3);
}

}  // namespace PartSelection

}  // namespace cli
