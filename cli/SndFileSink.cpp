#include "SndFileSink.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <random>

#include "CliError.h"

namespace cli {

namespace fs = std::filesystem;

namespace {

std::string LowerExtension(const fs::path& path) {
    std::string ext = path.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext;
}

fs::path TemporaryBeside(const fs::path& target) {
    std::random_device device;
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, ".part-%08x", static_cast<unsigned>(device()));
    fs::path temporary = target;
    temporary += suffix;
    return temporary;
}

}  // namespace

int SndFileSink::FormatFor(const fs::path& path) {
    const std::string ext = LowerExtension(path);
    if (ext == ".wav") return SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    if (ext == ".flac") return SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
    if (ext == ".ogg") return SF_FORMAT_OGG | SF_FORMAT_VORBIS;
    throw CliError(kExitUsage, "cannot write '" + path.string() +
                                   "': unknown extension (use .wav, .flac, .ogg, or - for raw)");
}

SndFileSink::SndFileSink(const fs::path& target, uint32_t rate)
    : target_(target), temporary_(TemporaryBeside(target)) {
    SF_INFO info{};
    info.samplerate = static_cast<int>(rate);
    info.channels = 2;
    info.format = FormatFor(target);
    file_ = sf_open(temporary_.c_str(), SFM_WRITE, &info);
    if (file_ == nullptr) {
        throw CliError(kExitFailure,
                       "cannot write '" + target_.string() + "': " + sf_strerror(nullptr));
    }
}

SndFileSink::~SndFileSink() {
    if (!done_) Discard();
}

void SndFileSink::Write(const int16_t* frames, int32_t count) {
    if (sf_writef_short(file_, frames, count) != count) {
        const std::string reason = sf_strerror(file_);
        Discard();
        throw CliError(kExitFailure, "cannot write '" + target_.string() + "': " + reason);
    }
}

void SndFileSink::Finish() {
    const int closed = sf_close(file_);
    file_ = nullptr;
    std::error_code error;
    if (closed == 0) fs::rename(temporary_, target_, error);
    if (closed != 0 || error) {
        Discard();
        throw CliError(kExitFailure, "cannot write '" + target_.string() + "': " +
                                         (closed != 0 ? sf_error_number(closed) : error.message()));
    }
    done_ = true;
}

void SndFileSink::Discard() {
    if (file_ != nullptr) {
        sf_close(file_);
        file_ = nullptr;
    }
    std::error_code ignored;
    fs::remove(temporary_, ignored);
    done_ = true;
}

}  // namespace cli
