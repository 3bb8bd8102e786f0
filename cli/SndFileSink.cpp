#include "SndFileSink.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <random>
#include <vector>

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

// The longest file name most file systems take, in bytes.
constexpr std::size_t kLongestName = 255;

// A WAV file's sizes are 32-bit: the RIFF size counts the data and 36 bytes
// of header before it.
constexpr int64_t kWavDataLimit = 0xFFFFFFFFll - 36;

// True when the file holds exactly `frames` frames and its last ones decode.
bool WrittenWhole(const fs::path& file, int64_t frames) {
    SF_INFO info{};
    SNDFILE* reader = sf_open(file.c_str(), SFM_READ, &info);
    if (reader == nullptr) return false;
    bool whole = info.frames == frames && info.channels == 2;
    if (whole && frames > 0) {
        const sf_count_t from = std::max<int64_t>(0, frames - 4096);
        std::vector<int16_t> tail(static_cast<std::size_t>(frames - from) * 2);
        whole = sf_seek(reader, from, SEEK_SET) == from &&
                sf_readf_short(reader, tail.data(), frames - from) == frames - from;
    }
    sf_close(reader);
    return whole;
}

}  // namespace

fs::path SndFileSink::TemporaryFor(const fs::path& target) {
    std::random_device device;
    char random[16];
    std::snprintf(random, sizeof random, "%08x", static_cast<unsigned>(device()));
    const std::string name = target.filename().string();
    const std::string beside = name + ".part-" + random;
    return target.parent_path() /
           (beside.size() <= kLongestName ? beside : std::string(".velnari-") + random + ".part");
}

int SndFileSink::FormatFor(const fs::path& path, int64_t plannedFrames) {
    const std::string ext = LowerExtension(path);
    if (ext == ".wav") {
        const int container = plannedFrames * 4 > kWavDataLimit ? SF_FORMAT_RF64 : SF_FORMAT_WAV;
        return container | SF_FORMAT_PCM_16;
    }
    if (ext == ".flac") return SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
    if (ext == ".ogg") return SF_FORMAT_OGG | SF_FORMAT_VORBIS;
    throw CliError(
        kExitUsage,
        "cannot write '" + path.string() +
            "': unknown extension (use .wav, .flac, .ogg, .vgm, .vgz, .s98, or - for raw)");
}

SndFileSink::SndFileSink(const fs::path& target, uint32_t rate, int64_t plannedFrames)
    : target_(target), temporary_(TemporaryFor(target)) {
    SF_INFO info{};
    info.samplerate = static_cast<int>(rate);
    info.channels = 2;
    info.format = FormatFor(target, plannedFrames);
    file_ = sf_open(temporary_.c_str(), SFM_WRITE, &info);
    if (file_ == nullptr) {
        // The file may exist already, its header unwritten (a full disk).
        const std::string reason = sf_strerror(nullptr);
        std::error_code ignored;
        fs::remove(temporary_, ignored);
        throw CliError(kExitFailure, "cannot write '" + target_.string() + "': " + reason);
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
    written_ += count;
}

void SndFileSink::Finish() {
    const int closed = sf_close(file_);
    file_ = nullptr;
    std::string fault;
    if (closed != 0) {
        fault = sf_error_number(closed);
    } else if (!WrittenWhole(temporary_, written_)) {
        fault = "the file could not be written whole (is the disk full?)";
    } else {
        std::error_code error;
        fs::rename(temporary_, target_, error);
        if (error) fault = error.message();
    }
    if (!fault.empty()) {
        Discard();
        throw CliError(kExitFailure, "cannot write '" + target_.string() + "': " + fault);
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
