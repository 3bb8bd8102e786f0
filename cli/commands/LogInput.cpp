#include "commands/LogInput.h"

#include <algorithm>
#include <fstream>
#include <vector>

#include "reglog/Formats.h"

namespace cli {

namespace {

// Enough of the file to see a zero byte in a log's header.
constexpr std::size_t kLooked = 4096;

}  // namespace

bool IsRegisterLogInput(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::vector<uint8_t> head(kLooked);
    file.read(reinterpret_cast<char*>(head.data()), kLooked);  // nothing when it did not open
    head.resize(static_cast<std::size_t>(file.gcount()));
    if (reglog::LogFileFormatOfBytes(head.data(), head.size()) != nullptr) return true;
    if (!reglog::IsRegisterLogPath(path)) return false;
    return head.empty() || std::find(head.begin(), head.end(), 0) != head.end();
}

}  // namespace cli
