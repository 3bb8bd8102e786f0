#pragma once
// Raw PCM to a stream (standard output for "-o -"): interleaved stereo,
// signed 16-bit little-endian, no header.

#include <cstdio>
#include <vector>

#include "AudioSink.h"

namespace cli {

class RawSink : public AudioSink {
  public:
    explicit RawSink(std::FILE* stream) : stream_(stream) {}

    void Write(const int16_t* frames, int32_t count) override;
    void Finish() override;
    std::string Name() const override { return "standard output"; }

  private:
    std::FILE* stream_;           // not owned
    std::vector<uint8_t> bytes_;  // reused between writes
};

}  // namespace cli
