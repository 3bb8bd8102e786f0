#include "reglog/LogReader.h"

#include "platform/WholeFile.h"
#include "reglog/Gzip.h"

namespace reglog {

LogReadResult ReadRegisterLog(const uint8_t* data, std::size_t size, std::size_t maxBytes) {
    return ReadLogFileBytes(data, size, maxBytes, GzipDecompress);
}

LogReadResult ReadRegisterLogFile(const std::string& path) {
    std::string bytes;
    if (!platform::ReadWholeFile(path.c_str(), bytes)) {
        LogReadResult result;
        result.fault = "cannot read it (missing, unreadable or empty)";
        return result;
    }
    return ReadRegisterLog(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

}  // namespace reglog
