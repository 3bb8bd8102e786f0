#pragma once
// Conversions between the 8-bit encodings songs and file names come in.

#include <string>
#include <string_view>

namespace platform {

// Decodes Shift-JIS, as Windows code page 932 has it, into UTF-8. False, with
// `utf8` unchanged, when the bytes are not Shift-JIS text or no decoder is at
// hand.
bool ShiftJisToUtf8(std::string_view bytes, std::string& utf8);

}  // namespace platform
