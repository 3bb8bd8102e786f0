#pragma once
// Where the host puts the PCM it renders: a raw file of interleaved 16-bit
// little-endian stereo frames, or the same data in a WAV (RIFF) file when the
// name ends in ".wav". The WAV header is written first with the data size
// known in advance, so the file is complete once Write has delivered it all.

#include <cstdint>
#include <cstdio>
#include <string>

namespace host {

class PcmFile {
  public:
    PcmFile() = default;
    ~PcmFile();
    PcmFile(const PcmFile&) = delete;
    PcmFile& operator=(const PcmFile&) = delete;

    // Creates `path`. `dataBytes` is the size of the PCM data that will follow
    // (needed for the WAV header). False when the file cannot be created or
    // the data would not fit a WAV file.
    bool Create(const std::string& path, uint32_t rate, uint64_t dataBytes);

    bool Write(const uint8_t* bytes, size_t size);

    // Flushes and closes; false when anything failed to reach the file.
    bool Close();

  private:
    std::FILE* file_ = nullptr;
    bool failed_ = false;
};

}  // namespace host
