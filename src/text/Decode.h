#pragma once
// Text of unknown encoding as UTF-8. Songs, file names and S98 tags come
// either as UTF-8 or in the 8-bit encoding of the Japanese personal
// computers they were written on (Shift-JIS); which one is told from the
// bytes, as a whole, because a Shift-JIS byte pair can also read as valid
// UTF-8 by chance and a text is written in one encoding.

#include <optional>
#include <string>
#include <string_view>

namespace text {

// Decodes text in an 8-bit encoding into UTF-8; false when the bytes are not
// text in that encoding. The operating system holds these decoders
// (platform/TextEncoding.h); the caller passes the one it wants.
using Decoder = bool (*)(std::string_view bytes, std::string& utf8);

// The bytes as they are when they are well-formed UTF-8; else `fallback`'s
// decoding of the whole of them where that succeeds (and is well-formed);
// else nullopt.
std::optional<std::string> DecodeText(std::string_view bytes, Decoder fallback);

// What becomes of bytes that DecodeText cannot read.
enum class Undecodable {
    kQuestionMark,  // every byte outside ASCII becomes '?'
    kHexEscape,     // well-formed UTF-8 sequences stay; any other byte becomes \xNN
};

// DecodeText, or where it fails, the bytes made UTF-8 as `undecodable` says.
std::string ToUtf8(std::string_view bytes, Decoder fallback, Undecodable undecodable);

}  // namespace text
