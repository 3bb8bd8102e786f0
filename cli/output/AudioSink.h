#pragma once
// Where rendered frames go: a file, standard output. A sink receives blocks
// of interleaved 16-bit stereo frames, then exactly one Finish (the render is
// complete: make it visible) or nothing (the render failed or was stopped:
// the destructor throws away what was written, where it can).

#include <cstdint>
#include <memory>
#include <string>

namespace cli {

class AudioSink {
  public:
    virtual ~AudioSink() = default;

    // Throw CliError when the data cannot be written.
    virtual void Write(const int16_t* frames, int32_t count) = 0;
    virtual void Finish() = 0;

    // The name to show the user.
    virtual std::string Name() const = 0;
};

// The sink for -o `output`: raw PCM for "-" (standard output) and for a
// character device, else an audio file whose extension picks the format
// (SndFileSink), for `plannedFrames` frames at `rate`. Throws CliError.
std::unique_ptr<AudioSink> OpenAudioSink(const std::string& output, uint32_t rate,
                                         int64_t plannedFrames);

}  // namespace cli
