#pragma once
// Source text quoted for a person on a UTF-8 display: what the command line's
// GNU-style messages and the web page show of a song's text. The plug-in's
// message box shows the song's bytes as they are and does not use this.

#include <cstddef>
#include <string>
#include <string_view>

namespace Tarsel {

// The text up to its first line end, as text::ShowLine quotes it (UTF-8,
// else Shift-JIS as code page 932 has it, else byte by byte; what cannot be
// seen named; at most `maxCharacters` characters, then "…").
std::string Readable(std::string_view text, std::size_t maxCharacters = 60);

}  // namespace Tarsel
