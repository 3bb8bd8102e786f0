#pragma once
// An audio file written through libsndfile. The format follows the file's
// extension: ".wav" (16-bit PCM; RF64 when the data would not fit a WAV
// file's 32-bit sizes), ".flac" (16-bit), ".ogg" (Vorbis).
//
// The data goes to a temporary file beside the target ("NAME.part-XXXXXXXX",
// or ".velnari-XXXXXXXX.part" when the longer name would not fit), which
// Finish reads back (its length, and the last frames decoded) before renaming
// it to the target: the audio library does not report every failed write (a
// full disk at the final flush of a FLAC or Ogg file goes unseen). The library
// writes through calls of this class, which keep the system's reason for a
// failed write (a full disk, a file-size limit) for the message. A render
// that fails or is stopped removes the temporary file and leaves any older
// file under the target's name as it was. Zero frames make a valid empty
// file in every format.

#include <sndfile.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "output/AudioSink.h"

namespace cli {

class SndFileSink : public AudioSink {
  public:
    // The libsndfile format for a path's extension (any case) and the frames
    // to be written; throws CliError (usage) for other extensions. Call
    // before rendering anything.
    static int FormatFor(const std::filesystem::path& path, int64_t plannedFrames = 0);

    // The temporary file's path for `target`.
    static std::filesystem::path TemporaryFor(const std::filesystem::path& target);

    // Opens the temporary file for `plannedFrames` frames; throws CliError
    // when it cannot be created.
    SndFileSink(const std::filesystem::path& target, uint32_t rate, int64_t plannedFrames);
    ~SndFileSink() override;

    SndFileSink(const SndFileSink&) = delete;
    SndFileSink& operator=(const SndFileSink&) = delete;

    void Write(const int16_t* frames, int32_t count) override;
    void Finish() override;
    std::string Name() const override { return target_.string(); }

    struct Stream;  // the temporary file as the library writes it

  private:
    void Discard();
    [[noreturn]] void Fail(const std::string& libraryReason);

    std::filesystem::path target_;
    std::filesystem::path temporary_;
    std::unique_ptr<Stream> stream_;
    int format_ = 0;  // libsndfile's
    SNDFILE* file_ = nullptr;
    int64_t written_ = 0;  // frames
    bool done_ = false;
};

}  // namespace cli
