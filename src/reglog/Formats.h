#pragma once
// The register-log file formats velnari reads and writes, one row each: its
// name, its file extension, how a file of it is told by its first bytes, its
// reader and its writer. The command line (which kind a path or a file is,
// what to write), `info` and the web page's downloads all go through this
// table, so a new format is a reader and writer in a file of its own and one
// row here.
//
// A compressed format (.vgz: gzip) is a container: the file is another
// format's bytes compressed whole, told apart by what it holds once
// decompressed. The compressor and decompressor come from the caller (Gzip.h
// has gzip's, through zlib), so that the table, its readers and its writers
// need no zlib and the web page's build writes logs without it.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "reglog/RegisterLog.h"

namespace reglog {

struct ChipWriteReadResult;
class ChipWriteListener;

// Largest log accepted, after decompression: far beyond any song, small
// enough that a hostile file cannot take all memory.
inline constexpr std::size_t kMaxLogBytes = std::size_t{64} << 20;

// A whole file's bytes compressed.
using Compressor = std::function<std::vector<uint8_t>(const std::vector<uint8_t>&)>;
// Decompresses `size` bytes into `out`. False, with a one-line reason in
// `fault`, for a damaged stream or one that would expand past `maxBytes`;
// damage beside the data (bytes after it) is a one-line `warning`.
using Decompressor =
    std::function<bool(const uint8_t* data, std::size_t size, std::size_t maxBytes,
                       std::vector<uint8_t>& out, std::string& fault, std::string* warning)>;

struct LogFileFormat {
    const char* name;       // "VGM"
    const char* extension;  // ".vgm"; a path's is compared without letter case
    const char* described;  // "a VGM", for the fault that names every format
    bool compressed;        // a container: another row's bytes, compressed whole
    // True when the file's first `size` bytes start as this format's do.
    bool (*recognises)(const uint8_t* data, std::size_t size);
    // For a format that is not compressed: the reader of its bytes and their
    // writer (`poll`, when set, called every few thousand commands; it may
    // throw to stop). A compressed row writes the format of the row named
    // `holds` and reads whichever format its content is.
    LogReadResult (*read)(const uint8_t* data, std::size_t size);
    std::vector<uint8_t> (*write)(const RegisterLog& log, const std::function<void()>& poll);
    const char* holds;  // compressed rows: the name of the format written inside
    // The writes to every FM chip of the YM2203's kind in a file of this
    // format (ChipWrites.h), for `voices`; nullptr where there is no reader.
    ChipWriteReadResult (*readChipWrites)(const uint8_t* data, std::size_t size,
                                          ChipWriteListener& listener);
};

// Every format, in the order the faults name them.
std::span<const LogFileFormat> LogFileFormats();

// The format named `name` ("VGM", "VGZ", "S98"); nullptr for none.
const LogFileFormat* LogFileFormatNamed(std::string_view name);

// The format whose extension `path` has (any letter case); nullptr for none.
const LogFileFormat* LogFileFormatOfPath(std::string_view path);

// The format whose first bytes `data` starts with; nullptr for none.
const LogFileFormat* LogFileFormatOfBytes(const uint8_t* data, std::size_t size);

// True for the extensions of register logs (.vgm, .vgz, .s98, any case).
bool IsRegisterLogPath(std::string_view path);

// The extensions of every format, for messages: ".vgm, .vgz, .s98".
std::string LogFileExtensions();

// Reads a log file of any format in the table, told apart by its first
// bytes, not by its name; a compressed file is passed through `decompress`
// (without one it is a fault). A file larger than `maxBytes`, or that
// decompresses to more, is a fault.
LogReadResult ReadLogFileBytes(const uint8_t* data, std::size_t size, std::size_t maxBytes,
                               const Decompressor& decompress);

}  // namespace reglog
