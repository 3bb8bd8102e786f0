#pragma once
// Text quoted for a person on a UTF-8 display: what the command line's
// messages and the web page show of a song's line.

#include <cstddef>
#include <string>
#include <string_view>

#include "text/Decode.h"

namespace text {

// The text up to its first line end, as UTF-8:
// - text that DecodeText reads is taken as it reads it; otherwise byte by
//   byte, a byte outside ASCII shown as [0x83];
// - what cannot be seen, or looks like something else, is named: a tab as
//   [tab], control characters and invisible spaces by their code point
//   ([U+001F], [U+3000], [U+00A0], [U+200B]), full-width forms of ASCII
//   characters as [full-width c];
// - at most `maxCharacters` characters of the text are quoted, then "…".
std::string ShowLine(std::string_view bytes, Decoder fallback, std::size_t maxCharacters);

}  // namespace text
