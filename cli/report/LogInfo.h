#pragma once
// What `velnari info` reports about a register log: its format and header,
// the chip's clock, its length and loop, and its tags; as text for people or
// as one JSON object for tools.

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "reglog/RegisterLog.h"

namespace cli {

struct LogInfo {
    std::string file;
    std::string format;  // "VGM 1.71", "S98 3"
    bool gzipped = false;
    uint64_t fileBytes = 0;
    uint64_t dataBytes = 0;  // after decompression
    std::string timer;       // S98: the file's sync period
    uint32_t clock = 0;      // Hz
    int64_t samples = 0;     // 1/44100 s, to the end of the data
    std::size_t writes = 0;
    std::optional<int64_t> loopStart;    // samples before the loop point
    std::optional<int64_t> loopSamples;  // length of the loop
    reglog::LogTags tags;
    std::vector<std::string> warnings;  // the damaged parts of a log that plays
};

LogInfo DescribeLog(const std::string& file, const reglog::RegisterLog& log,
                    const reglog::LogOrigin& origin);

std::string FormatText(const LogInfo& info);
nlohmann::json ToJson(const LogInfo& info);

}  // namespace cli
