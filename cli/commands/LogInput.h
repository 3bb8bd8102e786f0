#pragma once
// Whether a command's input is a register log or a song, told by what the
// file holds rather than by its name alone.

#include <string>

namespace cli {

// True when the file starts as a register log of one of the formats does
// (reglog/Formats.h), whatever its name. A file named as a log that does not
// start so is a song when it holds text (no zero byte), else a damaged log,
// for the log reader to name what is wrong; one that cannot be read keeps
// the kind its name gives.
bool IsRegisterLogInput(const std::string& path);

}  // namespace cli
