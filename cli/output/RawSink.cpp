#include "output/RawSink.h"

#include <bit>
#include <cerrno>
#include <filesystem>

#include "CliError.h"
#include "output/WriteFailure.h"

namespace cli {

RawSink::~RawSink() {
    if (owned_) std::fclose(stream_);
}

std::unique_ptr<RawSink> RawSink::OpenDevice(const std::string& path) {
    std::FILE* stream = std::fopen(path.c_str(), "wb");
    if (stream == nullptr) {
        throw CliError(kExitFailure, "cannot write to '" + path + "': " + WriteFailure(errno));
    }
    return std::unique_ptr<RawSink>(new RawSink(stream, "'" + path + "'", true));
}

bool RawSink::IsRawOutput(const std::string& output) {
    std::error_code ignored;
    return output == "-" || std::filesystem::is_character_file(output, ignored);
}

void RawSink::Fail(int systemError) const {
    throw CliError(kExitFailure, "cannot write to " + name_ + ": " + WriteFailure(systemError));
}

void RawSink::Write(const int16_t* frames, int32_t count) {
    const std::size_t samples = static_cast<std::size_t>(count) * 2;
    errno = 0;
    if constexpr (std::endian::native == std::endian::little) {
        // The frames are already in the stream's byte order.
        if (std::fwrite(frames, sizeof *frames, samples, stream_) != samples) Fail(errno);
        return;
    }
    bytes_.resize(samples * 2);
    for (std::size_t i = 0; i < samples; ++i) {
        const auto value = static_cast<uint16_t>(frames[i]);
        bytes_[2 * i] = static_cast<uint8_t>(value & 0xFF);
        bytes_[2 * i + 1] = static_cast<uint8_t>(value >> 8);
    }
    if (std::fwrite(bytes_.data(), 1, bytes_.size(), stream_) != bytes_.size()) Fail(errno);
}

void RawSink::Finish() {
    errno = 0;
    if (std::fflush(stream_) != 0 || std::ferror(stream_)) Fail(errno);
}

}  // namespace cli
