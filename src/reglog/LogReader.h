#pragma once
// Reading a register-log file of any format velnari knows: VGM, VGM
// compressed with gzip (.vgz) and S98, told apart by their first bytes, not
// by the file's name.

#include <cstddef>
#include <cstdint>
#include <string>

#include "reglog/RegisterLog.h"

namespace reglog {

// Largest log accepted, after decompression: far beyond any song, small
// enough that a hostile file cannot take all memory.
inline constexpr std::size_t kMaxLogBytes = std::size_t{64} << 20;

LogReadResult ReadRegisterLog(const uint8_t* data, std::size_t size,
                              std::size_t maxBytes = kMaxLogBytes);

// Reads the file at `path`; a file that cannot be read is a fault too.
LogReadResult ReadRegisterLogFile(const std::string& path);

// True for the extensions of register logs (.vgm, .vgz, .s98, any case).
bool IsRegisterLogPath(const std::string& path);

}  // namespace reglog
