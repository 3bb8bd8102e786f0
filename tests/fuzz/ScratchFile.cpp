#include "ScratchFile.h"

#include <cstdio>
#include <filesystem>
#include <random>
#include <system_error>

#include "FuzzTargets.h"

namespace fuzz {

ScratchFile::ScratchFile(const std::string& name) {
    std::error_code error;
    std::filesystem::path dir = std::filesystem::temp_directory_path(error);
    if (error) dir = ".";
    // A random token per process keeps parallel fuzzing jobs apart.
    static const std::string token = std::to_string(std::random_device{}());
    path_ = (dir / ("velnari-fuzz-" + token + "-" + name)).string();
}

ScratchFile::~ScratchFile() {
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
}

void ScratchFile::Write(const uint8_t* data, std::size_t size) {
    std::FILE* file = std::fopen(path_.c_str(), "wb");
    FUZZ_CHECK(file != nullptr);
    const std::size_t written = size == 0 ? 0 : std::fwrite(data, 1, size, file);
    const bool closed = std::fclose(file) == 0;
    FUZZ_CHECK(written == size && closed);
}

}  // namespace fuzz
