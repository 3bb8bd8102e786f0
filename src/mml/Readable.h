#pragma once
// Source text quoted for a person on a UTF-8 display: what the command line's
// GNU-style messages and the web page show of a song's text. The plug-in's
// message box shows the song's bytes as they are and does not use this.

#include <cstddef>
#include <string>
#include <string_view>

namespace Tarsel {

// The text up to its first line end, as UTF-8:
// - text that is valid UTF-8 is taken as such; otherwise as Shift-JIS (code
//   page 932) where the whole of it decodes; otherwise byte by byte, a byte
//   that does not decode shown as [0x83];
// - what cannot be seen, or looks like something else, is named: a tab as
//   [tab], control characters and invisible spaces by their code point
//   ([U+001F], [U+3000], [U+00A0], [U+200B]), full-width forms of ASCII
//   characters as [full-width c];
// - at most `maxCharacters` characters of the text are quoted, then "…".
std::string Readable(std::string_view text, std::size_t maxCharacters = 60);

}  // namespace Tarsel
