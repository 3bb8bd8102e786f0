#include "reglog/LogReader.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "platform/WholeFile.h"
#include "reglog/Gzip.h"
#include "reglog/S98.h"
#include "reglog/Vgm.h"

namespace reglog {

LogReadResult ReadRegisterLog(const uint8_t* data, std::size_t size, std::size_t maxBytes) {
    LogReadResult result;
    std::vector<uint8_t> inflated;
    const bool gzipped = IsGzip(data, size);
    std::string gzipWarning;
    if (gzipped) {
        std::string fault;
        if (!GzipDecompress(data, size, maxBytes, inflated, fault, &gzipWarning)) {
            result.fault = "cannot decompress: " + fault;
            return result;
        }
    } else if (size > maxBytes) {
        result.fault = "larger than " + std::to_string(maxBytes >> 20) + " MiB";
        return result;
    }
    const uint8_t* bytes = gzipped ? inflated.data() : data;
    const std::size_t length = gzipped ? inflated.size() : size;
    if (length >= 3 && bytes[0] == 'S' && bytes[1] == '9' && bytes[2] == '8') {
        result = ReadS98(bytes, length);
    } else if (length >= 4 && bytes[0] == 'V' && bytes[1] == 'g' && bytes[2] == 'm' &&
               bytes[3] == ' ') {
        result = ReadVgm(bytes, length);
    } else {
        result.fault = gzipped ? "the compressed data is neither VGM nor S98"
                               : "neither a VGM, a gzip-compressed VGM nor an S98 file";
        return result;
    }
    if (!gzipWarning.empty()) result.warnings.insert(result.warnings.begin(), gzipWarning);
    result.origin.gzipped = gzipped;
    result.origin.fileBytes = size;
    result.origin.dataBytes = length;
    return result;
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

bool IsRegisterLogPath(const std::string& path) {
    const std::size_t dot = path.find_last_of('.');
    const std::size_t slash = path.find_last_of('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return false;
    std::string ext = path.substr(dot);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext == ".vgm" || ext == ".vgz" || ext == ".s98";
}

}  // namespace reglog
