#pragma once
// Reading a register-log file of any format velnari knows (Formats.h), a
// gzip-compressed one included: the formats table's reader with gzip as
// its decompressor.

#include <cstddef>
#include <cstdint>
#include <string>

#include "reglog/Formats.h"
#include "reglog/RegisterLog.h"

namespace reglog {

LogReadResult ReadRegisterLog(const uint8_t* data, std::size_t size,
                              std::size_t maxBytes = kMaxLogBytes);

// Reads the file at `path`; a file that cannot be read is a fault too.
LogReadResult ReadRegisterLogFile(const std::string& path);

}  // namespace reglog
