#include "text/Decode.h"

#include <cstdint>
#include <cstdio>

#include "text/Utf8.h"

namespace text {

std::optional<std::string> DecodeText(std::string_view bytes, Decoder fallback) {
    if (IsValidUtf8(bytes)) return std::string(bytes);
    std::string decoded;
    if (fallback != nullptr && fallback(bytes, decoded) && IsValidUtf8(decoded)) return decoded;
    return std::nullopt;
}

std::string ToUtf8(std::string_view bytes, Decoder fallback, Undecodable undecodable) {
    if (auto decoded = DecodeText(bytes, fallback)) return std::move(*decoded);
    std::string out;
    for (std::size_t i = 0; i < bytes.size();) {
        const auto byte = static_cast<uint8_t>(bytes[i]);
        if (undecodable == Undecodable::kQuestionMark) {
            out += byte < 0x80 ? bytes[i] : '?';
            ++i;
            continue;
        }
        if (const std::size_t n = Utf8SequenceAt(bytes, i)) {
            out.append(bytes.substr(i, n));
            i += n;
            continue;
        }
        char hex[8];
        std::snprintf(hex, sizeof hex, "\\x%02X", byte);
        out += hex;
        ++i;
    }
    return out;
}

}  // namespace text
