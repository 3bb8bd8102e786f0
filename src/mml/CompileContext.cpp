#include "mml/CompileContext.h"

#include <boost/lexical_cast.hpp>

#include <iterator>
#include <limits>
#include <optional>
#include <typeinfo>

namespace Tarsel {

namespace {

constexpr int32_t kWholeNoteTicks = 64;

// Strict reading of an optionally signed decimal integer that must fill the
// whole text and fit 32 bits.
std::optional<int32_t> ReadInteger(std::string_view text) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i == text.size()) return std::nullopt;
    // Accumulate towards the negative side, which has room for -2^31.
    int64_t value = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 - (c - '0');
        if (value < std::numeric_limits<int32_t>::min()) return std::nullopt;
    }
    if (!negative) {
        value = -value;
        if (value > std::numeric_limits<int32_t>::max()) return std::nullopt;
    }
    return static_cast<int32_t>(value);
}

}  // namespace

void CompileContext::Emit(const song::Command& compiled) {
    // A stored command lands just before its list's closing "}" or "%".
    song::Command* stored = nullptr;
    switch (lineKind) {
        case kPartLine:
            stored = &song->AddToPart(part, compiled);
            break;
        case kMacroLine:
            // One name look-up per macro line, however many commands it holds:
            // the name may be very long.
            if (macroList) {
                stored = &song::Song::AppendToMacro(*macroList, compiled);
            } else {
                macroList = &song->AddToMacro(macroName, compiled);
                stored = &*std::prev(macroList->end(), 2);
            }
            break;
        default:
            return;
    }
    if (textBegin != nullptr) {
        stored->source = {static_cast<uint32_t>(commandStart - textBegin),
                          static_cast<uint32_t>(commandEnd - commandStart)};
    }
    if (observer) observer->OnEmit(*stored);
}

int32_t CompileContext::ToInt(std::string_view text) {
    return ReadInteger(text).value_or(0);
}

int32_t CompileContext::ParseLength(std::string_view text) {
    if (text.empty()) return 0;
    bool dotted = false;
    if (text.back() == '.') {
        text.remove_suffix(1);
        dotted = true;
    }
    const std::optional<int32_t> n = ReadInteger(text);
    // The same failure, and the same message, as a lexical_cast of the text.
    if (!n) throw boost::bad_lexical_cast(typeid(std::string), typeid(int32_t));
    if (*n <= 0 || *n > kWholeNoteTicks) return kWholeNoteTicks;
    int32_t ticks = kWholeNoteTicks / *n;
    if (dotted) ticks += ticks / 2;
    return ticks;
}

}  // namespace Tarsel
