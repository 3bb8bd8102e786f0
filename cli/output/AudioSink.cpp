#include "output/AudioSink.h"

#include <cstdio>

#include "output/RawSink.h"
#include "output/SndFileSink.h"

namespace cli {

std::unique_ptr<AudioSink> OpenAudioSink(const std::string& output, uint32_t rate,
                                         int64_t plannedFrames) {
    if (output == "-") return std::make_unique<RawSink>(stdout);
    if (RawSink::IsRawOutput(output)) return RawSink::OpenDevice(output);
    return std::make_unique<SndFileSink>(output, rate, plannedFrames);
}

}  // namespace cli
