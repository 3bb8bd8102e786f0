#pragma once
// An audio file written through libsndfile. The format follows the file's
// extension: ".wav" (16-bit PCM), ".flac" (16-bit), ".ogg" (Vorbis).
//
// The data goes to a temporary file beside the target ("NAME.part-XXXXXXXX")
// which Finish renames to the target; a render that fails or is stopped
// removes it, so a file under the target's name is always complete.

#include <sndfile.h>

#include <filesystem>
#include <string>

#include "AudioSink.h"

namespace cli {

class SndFileSink : public AudioSink {
  public:
    // The libsndfile format for a path's extension (any case); throws
    // CliError (usage) for other extensions. Call before rendering anything.
    static int FormatFor(const std::filesystem::path& path);

    // Opens the temporary file; throws CliError when it cannot be created.
    SndFileSink(const std::filesystem::path& target, uint32_t rate);
    ~SndFileSink() override;

    SndFileSink(const SndFileSink&) = delete;
    SndFileSink& operator=(const SndFileSink&) = delete;

    void Write(const int16_t* frames, int32_t count) override;
    void Finish() override;
    std::string Name() const override { return target_.string(); }

  private:
    void Discard();

    std::filesystem::path target_;
    std::filesystem::path temporary_;
    SNDFILE* file_ = nullptr;
    bool done_ = false;
};

}  // namespace cli
