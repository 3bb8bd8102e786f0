#pragma once
// UTF-8 and UTF-16, the Unicode encoding forms songs, file names and log tags
// travel in: checking, decoding and converting between the two.
//
// Well-formed UTF-8 here is what Unicode calls it: no overlong forms, no
// surrogates, nothing past U+10FFFF.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace text {

// Bytes of the well-formed UTF-8 sequence that starts at text[at] (1-4), or
// 0 when none starts there. `at` must be inside `text`.
std::size_t Utf8SequenceAt(std::string_view text, std::size_t at);

bool IsValidUtf8(std::string_view text);

// The code points of well-formed UTF-8; nullopt for anything else.
std::optional<std::u32string> DecodeUtf8(std::string_view text);

// Appends code point `c` (at most U+10FFFF, no surrogate) as UTF-8.
void AppendUtf8(std::string& out, char32_t c);

// UTF-8 as UTF-16 code units; each byte that starts no well-formed sequence
// becomes U+FFFD.
std::u16string Utf8ToUtf16(std::string_view text);

// UTF-16 code units as UTF-8; an unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);

}  // namespace text
