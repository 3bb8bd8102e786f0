#pragma once
// Raw PCM to a stream: interleaved stereo, signed 16-bit little-endian, no
// header. The stream is standard output ("-o -") or a character device
// named with -o (/dev/null for a timing run, a device node), which is
// written directly: a device cannot be replaced by a finished file.

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "output/AudioSink.h"

namespace cli {

class RawSink : public AudioSink {
  public:
    // Writes to `stream`, which stays open and stays the caller's.
    explicit RawSink(std::FILE* stream) : stream_(stream) {}
    ~RawSink() override;

    RawSink(const RawSink&) = delete;
    RawSink& operator=(const RawSink&) = delete;

    // Opens the character device at `path` for writing; throws CliError
    // when it cannot be opened.
    static std::unique_ptr<RawSink> OpenDevice(const std::string& path);

    // Whether -o `output` names raw output: "-", or a character device.
    static bool IsRawOutput(const std::string& output);

    void Write(const int16_t* frames, int32_t count) override;
    void Finish() override;
    std::string Name() const override { return name_; }

  private:
    RawSink(std::FILE* stream, std::string name, bool owned)
        : stream_(stream), name_(std::move(name)), owned_(owned) {}

    [[noreturn]] void Fail(int systemError) const;

    std::FILE* stream_;
    std::string name_ = "standard output";
    bool owned_ = false;
    std::vector<uint8_t> bytes_;  // reused between writes, on big-endian hosts only
};

}  // namespace cli
