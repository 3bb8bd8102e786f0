#include "text/Display.h"

#include <cstdint>
#include <cstdio>

#include "text/Utf8.h"

// Deliberate choices:
// - Full-width letters, digits and signs are named rather than shown: in a
//   song they are the usual reason a line that looks right does not parse
//   (an input method left on), and on screen they pass for their ASCII twins.

namespace text {

namespace {

// A byte that decodes to nothing is kept above the Unicode range.
constexpr char32_t kRawByte = 0x110000;

std::u32string Decode(std::string_view bytes, Decoder fallback) {
    if (const auto utf8 = DecodeText(bytes, fallback)) return *DecodeUtf8(*utf8);
    std::u32string decoded;
    for (const char c : bytes) {
        const auto byte = static_cast<uint8_t>(c);
        decoded.push_back(byte < 0x80 ? char32_t{byte} : kRawByte + byte);
    }
    return decoded;
}

// Characters that show as nothing, or as a plain space.
bool IsInvisible(char32_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0xA0) || c == 0xAD || c == 0x180E ||
           (c >= 0x2000 && c <= 0x200F) || (c >= 0x2028 && c <= 0x202F) ||
           (c >= 0x205F && c <= 0x2064) || c == 0x3000 || c == 0xFEFF;
}

void AppendShown(std::string& out, char32_t c) {
    char name[32];
    if (c >= kRawByte) {
        std::snprintf(name, sizeof name, "[0x%02X]", static_cast<unsigned>(c - kRawByte));
    } else if (c == '\t') {
        std::snprintf(name, sizeof name, "[tab]");
    } else if (IsInvisible(c)) {
        std::snprintf(name, sizeof name, "[U+%04X]", static_cast<unsigned>(c));
    } else if (c >= 0xFF01 && c <= 0xFF5E) {
        std::snprintf(name, sizeof name, "[full-width %c]", static_cast<char>(c - 0xFEE0));
    } else {
        AppendUtf8(out, c);
        return;
    }
    out += name;
}

}  // namespace

std::string ShowLine(std::string_view bytes, Decoder fallback, std::size_t maxCharacters) {
    const std::size_t lineEnd = bytes.find_first_of("\r\n");
    if (lineEnd != std::string_view::npos) bytes = bytes.substr(0, lineEnd);
    const std::u32string decoded = Decode(bytes, fallback);
    std::string shown;
    for (std::size_t i = 0; i < decoded.size(); ++i) {
        if (i == maxCharacters) {
            shown += "\u2026";
            break;
        }
        AppendShown(shown, decoded[i]);
    }
    return shown;
}

}  // namespace text
