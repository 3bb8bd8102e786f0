#include "mml/Readable.h"

#include <cstdint>
#include <cstdio>
#include <optional>
#include <vector>

#include "platform/TextEncoding.h"

// Deliberate choices:
// - A text is decoded as a whole, not character by character: a Shift-JIS
//   byte pair can also read as valid UTF-8 by chance, and a line is written
//   in one encoding.
// - Full-width letters, digits and signs are named rather than shown: in a
//   song they are the usual reason a line that looks right does not parse
//   (an input method left on), and on screen they pass for their ASCII twins.

namespace Tarsel {

namespace {

// A byte that decodes to nothing is kept above the Unicode range.
constexpr char32_t kRawByte = 0x110000;

std::optional<std::u32string> DecodeUtf8(std::string_view text) {
    std::u32string decoded;
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<uint8_t>(text[i]);
        int extra = 0;
        char32_t c = 0;
        if (lead < 0x80) {
            c = lead;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            extra = 1;
            c = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            extra = 2;
            c = lead & 0x0F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            extra = 3;
            c = lead & 0x07;
        } else {
            return std::nullopt;
        }
        if (i + static_cast<std::size_t>(extra) >= text.size()) return std::nullopt;
        for (int k = 1; k <= extra; ++k) {
            const auto next = static_cast<uint8_t>(text[i + static_cast<std::size_t>(k)]);
            if ((next & 0xC0) != 0x80) return std::nullopt;
            c = (c << 6) | (next & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
        if ((extra == 2 && c < 0x800) || (extra == 3 && (c < 0x10000 || c > 0x10FFFF)) ||
            (c >= 0xD800 && c <= 0xDFFF)) {
            return std::nullopt;
        }
        decoded.push_back(c);
        i += static_cast<std::size_t>(extra) + 1;
    }
    return decoded;
}

std::u32string Decode(std::string_view text) {
    if (auto utf8 = DecodeUtf8(text)) return *utf8;
    std::string fromShiftJis;
    if (platform::ShiftJisToUtf8(text, fromShiftJis)) {
        if (auto decoded = DecodeUtf8(fromShiftJis)) return *decoded;
    }
    std::u32string decoded;
    for (const char c : text) {
        const auto byte = static_cast<uint8_t>(c);
        decoded.push_back(byte < 0x80 ? char32_t{byte} : kRawByte + byte);
    }
    return decoded;
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
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

std::string Readable(std::string_view text, std::size_t maxCharacters) {
    const std::size_t lineEnd = text.find_first_of("\r\n");
    if (lineEnd != std::string_view::npos) text = text.substr(0, lineEnd);
    const std::u32string decoded = Decode(text);
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

}  // namespace Tarsel
