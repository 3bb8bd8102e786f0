#include "reglog/Formats.h"

#include <string>

#include "reglog/ChipWrites.h"
#include "reglog/Gzip.h"
#include "reglog/S98.h"
#include "reglog/Vgm.h"
#include "text/Case.h"

namespace reglog {

namespace {

bool StartsWith(const uint8_t* data, std::size_t size, std::string_view magic) {
    return size >= magic.size() &&
           std::string_view(reinterpret_cast<const char*>(data), magic.size()) == magic;
}

bool StartsAsVgm(const uint8_t* data, std::size_t size) {
    return StartsWith(data, size, "Vgm ");
}

bool StartsAsS98(const uint8_t* data, std::size_t size) {
    return StartsWith(data, size, "S98");
}

constexpr LogFileFormat kFormats[] = {
    {"VGM", ".vgm", "a VGM", false, StartsAsVgm, ReadVgm, WriteVgm, nullptr, ReadVgmChipWrites},
    {"VGZ", ".vgz", "a gzip-compressed VGM", true, IsGzip, nullptr, nullptr, "VGM", nullptr},
    {"S98", ".s98", "an S98", false, StartsAsS98, ReadS98, WriteS98, nullptr, ReadS98ChipWrites},
};

// "neither A, B nor C".
std::string Neither(const std::vector<std::string>& names) {
    std::string text = "neither ";
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0) text += i + 1 == names.size() ? " nor " : ", ";
        text += names[i];
    }
    return text;
}

// The fault for bytes that no row recognises; inside a compressed file,
// only the formats that are not compressed are named.
std::string NoFormatFault(bool compressed) {
    std::vector<std::string> names;
    for (const LogFileFormat& format : kFormats) {
        if (!compressed) {
            names.push_back(format.described);
        } else if (!format.compressed) {
            names.push_back(format.name);
        }
    }
    return compressed ? "the compressed data is " + Neither(names) : Neither(names) + " file";
}

}  // namespace

std::span<const LogFileFormat> LogFileFormats() {
    return kFormats;
}

const LogFileFormat* LogFileFormatNamed(std::string_view name) {
    for (const LogFileFormat& format : kFormats) {
        if (format.name == name) return &format;
    }
    return nullptr;
}

const LogFileFormat* LogFileFormatOfPath(std::string_view path) {
    const std::size_t dot = path.find_last_of('.');
    const std::size_t slash = path.find_last_of('/');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) {
        return nullptr;
    }
    const std::string extension = text::AsciiLower(path.substr(dot));
    for (const LogFileFormat& format : kFormats) {
        if (format.extension == extension) return &format;
    }
    return nullptr;
}

const LogFileFormat* LogFileFormatOfBytes(const uint8_t* data, std::size_t size) {
    for (const LogFileFormat& format : kFormats) {
        if (format.recognises(data, size)) return &format;
    }
    return nullptr;
}

bool IsRegisterLogPath(std::string_view path) {
    return LogFileFormatOfPath(path) != nullptr;
}

std::string LogFileExtensions() {
    std::string text;
    for (const LogFileFormat& format : kFormats) {
        if (!text.empty()) text += ", ";
        text += format.extension;
    }
    return text;
}

LogReadResult ReadLogFileBytes(const uint8_t* data, std::size_t size, std::size_t maxBytes,
                               const Decompressor& decompress) {
    LogReadResult result;
    const LogFileFormat* container = LogFileFormatOfBytes(data, size);
    const bool compressed = container != nullptr && container->compressed;
    std::vector<uint8_t> inflated;
    std::string warning;
    if (compressed) {
        std::string fault = "this build reads no " + std::string(container->name) + " files";
        if (!decompress || !decompress(data, size, maxBytes, inflated, fault, &warning)) {
            result.fault = "cannot decompress: " + fault;
            return result;
        }
    } else if (size > maxBytes) {
        result.fault = "larger than " + std::to_string(maxBytes >> 20) + " MiB";
        return result;
    }
    const uint8_t* bytes = compressed ? inflated.data() : data;
    const std::size_t length = compressed ? inflated.size() : size;
    const LogFileFormat* format = LogFileFormatOfBytes(bytes, length);
    if (format == nullptr || format->compressed) {
        result.fault = NoFormatFault(compressed);
        return result;
    }
    result = format->read(bytes, length);
    if (!warning.empty()) result.warnings.insert(result.warnings.begin(), warning);
    result.origin.gzipped = compressed;
    result.origin.fileBytes = size;
    result.origin.dataBytes = length;
    return result;
}

}  // namespace reglog
