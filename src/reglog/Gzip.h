#pragma once
// gzip streams through zlib, for .vgz files (a VGM file compressed whole):
// the Compressor and Decompressor (Formats.h) that the command line passes
// to the formats table.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace reglog {

// True when the bytes start with the gzip magic (1F 8B).
inline bool IsGzip(const uint8_t* data, std::size_t size) {
    return size >= 2 && data[0] == 0x1F && data[1] == 0x8B;
}

// The bytes as one gzip member, at the best compression. `poll`, when set,
// is called between pieces of a few milliseconds' work; it may throw to stop.
std::vector<uint8_t> GzipCompress(const std::vector<uint8_t>& bytes,
                                  const std::function<void()>& poll = {});

// Decompresses a gzip stream (one or more members) into `out`. False, with a
// one-line reason in `fault`, for a damaged or cut-short stream, or one that
// would expand past `maxBytes` (so a small file cannot make the reader take
// all memory). Bytes after a whole member that start no other member are
// left alone, with a one-line `*warning` (where given) saying how many.
bool GzipDecompress(const uint8_t* data, std::size_t size, std::size_t maxBytes,
                    std::vector<uint8_t>& out, std::string& fault, std::string* warning = nullptr);

}  // namespace reglog
