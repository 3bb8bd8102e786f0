#include "output/SndFileSink.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <random>
#include <vector>

#include "CliError.h"
#include "output/WriteFailure.h"
#include "reglog/Formats.h"
#include "text/Case.h"

namespace cli {

namespace fs = std::filesystem;

namespace {

std::string LowerExtension(const fs::path& path) {
    return text::AsciiLower(path.extension().string());
}

// The longest file name most file systems take, in bytes.
constexpr std::size_t kLongestName = 255;

// A WAV file's sizes are 32-bit: the RIFF size counts the data and 36 bytes
// of header before it.
constexpr int64_t kWavDataLimit = 0xFFFFFFFFll - 36;

// True when the file holds exactly `frames` frames and its last ones decode.
// An empty FLAC file gives its length as unknown: it must decode to nothing.
bool WrittenWhole(const fs::path& file, int64_t frames) {
    SF_INFO info{};
    SNDFILE* reader = sf_open(file.c_str(), SFM_READ, &info);
    if (reader == nullptr) return false;
    bool whole = info.frames == frames && info.channels == 2;
    if (frames == 0 && info.frames == SF_COUNT_MAX && info.channels == 2) {
        int16_t frame[2];
        whole = sf_readf_short(reader, frame, 1) == 0;
    }
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

// The temporary file through C stdio, with the first system error met.
struct SndFileSink::Stream {
    std::FILE* file = nullptr;
    int error = 0;  // errno of the first call that failed

    void Note(bool failed) {
        if (failed && error == 0) error = errno != 0 ? errno : EIO;
    }
};

namespace {

using Stream = SndFileSink::Stream;

Stream& Of(void* user) {
    return *static_cast<Stream*>(user);
}

sf_count_t StreamLength(void* user) {
    Stream& s = Of(user);
    const long at = std::ftell(s.file);
    if (at < 0 || std::fseek(s.file, 0, SEEK_END) != 0) return -1;
    const long end = std::ftell(s.file);
    std::fseek(s.file, at, SEEK_SET);
    return end;
}

sf_count_t StreamSeek(sf_count_t offset, int whence, void* user) {
    Stream& s = Of(user);
    errno = 0;
    const bool failed = std::fseek(s.file, static_cast<long>(offset), whence) != 0;
    s.Note(failed);
    return failed ? -1 : std::ftell(s.file);
}

sf_count_t StreamRead(void* to, sf_count_t count, void* user) {
    return static_cast<sf_count_t>(
        std::fread(to, 1, static_cast<std::size_t>(count), Of(user).file));
}

sf_count_t StreamWrite(const void* from, sf_count_t count, void* user) {
    Stream& s = Of(user);
    errno = 0;
    const std::size_t written = std::fwrite(from, 1, static_cast<std::size_t>(count), s.file);
    s.Note(written != static_cast<std::size_t>(count));
    return static_cast<sf_count_t>(written);
}

sf_count_t StreamTell(void* user) {
    return std::ftell(Of(user).file);
}

SF_VIRTUAL_IO kStreamCalls{StreamLength, StreamSeek, StreamRead, StreamWrite, StreamTell};

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
    throw CliError(kExitUsage, "cannot write '" + path.string() +
                                   "': unknown extension (use .wav, .flac, .ogg, " +
                                   reglog::LogFileExtensions() + ", or - for raw)");
}

SndFileSink::SndFileSink(const fs::path& target, uint32_t rate, int64_t plannedFrames)
    : target_(target), temporary_(TemporaryFor(target)), stream_(std::make_unique<Stream>()) {
    SF_INFO info{};
    info.samplerate = static_cast<int>(rate);
    info.channels = 2;
    info.format = format_ = FormatFor(target, plannedFrames);
    errno = 0;
    stream_->file = std::fopen(temporary_.c_str(), "w+b");
    stream_->Note(stream_->file == nullptr);
    if (stream_->file != nullptr) {
        file_ = sf_open_virtual(&kStreamCalls, SFM_WRITE, &info, stream_.get());
    }
    // The file may exist already, its header unwritten (a full disk).
    if (file_ == nullptr) Fail(sf_strerror(nullptr));
}

SndFileSink::~SndFileSink() {
    if (!done_) Discard();
}

void SndFileSink::Write(const int16_t* frames, int32_t count) {
    if (sf_writef_short(file_, frames, count) != count || stream_->error != 0) {
        Fail(sf_strerror(file_));
    }
    written_ += count;
}

void SndFileSink::Finish() {
    // Without a frame the FLAC encoder would write nothing at all, not even
    // the stream's header: an empty file that no player opens.
    if (written_ == 0 && (format_ & SF_FORMAT_TYPEMASK) == SF_FORMAT_FLAC) {
        sf_command(file_, SFC_UPDATE_HEADER_NOW, nullptr, 0);
    }
    const int closed = sf_close(file_);
    file_ = nullptr;
    errno = 0;
    stream_->Note(std::fclose(stream_->file) != 0);
    stream_->file = nullptr;
    if (closed != 0 || stream_->error != 0) Fail(sf_error_number(closed));
    if (!WrittenWhole(temporary_, written_)) {
        Fail("the file could not be written whole (is the disk full?)");
    }
    std::error_code error;
    fs::rename(temporary_, target_, error);
    if (error) Fail(error.message());
    done_ = true;
}

void SndFileSink::Fail(const std::string& libraryReason) {
    const std::string reason = WriteFailure(stream_->error, libraryReason);
    Discard();
    throw CliError(kExitFailure, "cannot write '" + target_.string() + "': " + reason);
}

void SndFileSink::Discard() {
    if (file_ != nullptr) {
        sf_close(file_);
        file_ = nullptr;
    }
    if (stream_->file != nullptr) {
        std::fclose(stream_->file);
        stream_->file = nullptr;
    }
    std::error_code ignored;
    fs::remove(temporary_, ignored);
    done_ = true;
}

}  // namespace cli
