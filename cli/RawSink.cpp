#include "RawSink.h"

#include "CliError.h"

namespace cli {

void RawSink::Write(const int16_t* frames, int32_t count) {
    const std::size_t samples = static_cast<std::size_t>(count) * 2;
    bytes_.resize(samples * 2);
    for (std::size_t i = 0; i < samples; ++i) {
        const auto value = static_cast<uint16_t>(frames[i]);
        bytes_[2 * i] = static_cast<uint8_t>(value & 0xFF);
        bytes_[2 * i + 1] = static_cast<uint8_t>(value >> 8);
    }
    if (std::fwrite(bytes_.data(), 1, bytes_.size(), stream_) != bytes_.size()) {
        throw CliError(kExitFailure, "cannot write to standard output");
    }
}

void RawSink::Finish() {
    if (std::fflush(stream_) != 0 || std::ferror(stream_)) {
        throw CliError(kExitFailure, "cannot write to standard output");
    }
}

}  // namespace cli
