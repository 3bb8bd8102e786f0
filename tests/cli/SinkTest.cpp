// Output files: the format follows the extension, the data lands under the
// target name only when complete, and raw output is little-endian PCM.

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cstdio>
#include <filesystem>
#include <vector>

#include "CliError.h"
#include "CliTestSupport.h"
#include "RawSink.h"
#include "SndFileSink.h"

namespace {

using clitest::ScratchDir;

std::vector<int16_t> Ramp(int frames) {
    std::vector<int16_t> samples(static_cast<std::size_t>(frames) * 2);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        samples[i] = static_cast<int16_t>(static_cast<int>(i * 37 % 65536) - 32768);
    }
    return samples;
}

struct ReadBack {
    SF_INFO info{};
    std::vector<int16_t> samples;
};

ReadBack Read(const std::string& file) {
    ReadBack back;
    SNDFILE* sf = sf_open(file.c_str(), SFM_READ, &back.info);
    if (sf == nullptr) return back;
    back.samples.resize(static_cast<std::size_t>(back.info.frames) * 2);
    sf_readf_short(sf, back.samples.data(), back.info.frames);
    sf_close(sf);
    return back;
}

ExitStatus StatusOf(auto&& action) {
    try {
        action();
    } catch (const CliError& e) {
        return e.status();
    }
    return kExitOk;
}

TEST(FileSink, FormatFollowsTheExtensionInAnyCase) {
    EXPECT_EQ(SndFileSink::FormatFor("a.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    EXPECT_EQ(SndFileSink::FormatFor("dir/A.WAV"), SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    EXPECT_EQ(SndFileSink::FormatFor("a.flac"), SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
    EXPECT_EQ(SndFileSink::FormatFor("a.Ogg"), SF_FORMAT_OGG | SF_FORMAT_VORBIS);
    for (const char* name : {"a.mp3", "a", "a.wav.txt", "wav"}) {
        EXPECT_EQ(StatusOf([&] { SndFileSink::FormatFor(name); }), kExitUsage) << name;
    }
}

TEST(FileSink, LosslessFormatsKeepEverySample) {
    ScratchDir dir;
    const std::vector<int16_t> samples = Ramp(5000);
    for (const char* name : {"mix.wav", "mix.flac"}) {
        {
            SndFileSink sink(dir / name, 22050);
            sink.Write(samples.data(), 3000);
            sink.Write(samples.data() + 6000, 2000);
            EXPECT_FALSE(std::filesystem::exists(dir / name)) << "visible before Finish";
            sink.Finish();
        }
        const ReadBack back = Read(dir / name);
        EXPECT_EQ(back.info.channels, 2) << name;
        EXPECT_EQ(back.info.samplerate, 22050) << name;
        EXPECT_EQ(back.samples, samples) << name;
    }
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"mix.flac", "mix.wav"}));
}

TEST(FileSink, OggVorbisIsWrittenAndReadable) {
    ScratchDir dir;
    const std::vector<int16_t> samples = Ramp(4410);
    {
        SndFileSink sink(dir / "mix.ogg", 44100);
        sink.Write(samples.data(), 4410);
        sink.Finish();
    }
    const ReadBack back = Read(dir / "mix.ogg");
    EXPECT_EQ(back.info.format & SF_FORMAT_TYPEMASK, SF_FORMAT_OGG);
    EXPECT_EQ(back.info.frames, 4410);
}

TEST(FileSink, AnUnfinishedFileLeavesNothingBehind) {
    ScratchDir dir;
    const std::vector<int16_t> samples = Ramp(100);
    {
        SndFileSink sink(dir / "half.wav", 44100);
        sink.Write(samples.data(), 100);
        EXPECT_EQ(dir.Entries().size(), 1u);  // the temporary file
    }
    EXPECT_TRUE(dir.Entries().empty());

    // An older complete file under the target name survives a failed render.
    dir.Write("keep.wav", "earlier render");
    { SndFileSink sink(dir / "keep.wav", 44100); }
    EXPECT_EQ(clitest::ReadFile(dir / "keep.wav"), "earlier render");
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"keep.wav"}));
}

TEST(FileSink, AnUnwritablePathFailsWithStatus1) {
    ScratchDir dir;
    EXPECT_EQ(StatusOf([&] { SndFileSink sink(dir / "no/such/folder/x.wav", 44100); }),
              kExitFailure);
    EXPECT_TRUE(dir.Entries().empty());
}

TEST(RawOutput, IsLittleEndianInterleavedPcm) {
    ScratchDir dir;
    const std::string file = dir / "raw.pcm";
    std::FILE* stream = std::fopen(file.c_str(), "wb");
    ASSERT_NE(stream, nullptr);
    const int16_t frames[4] = {1, -2, 0x1234, -32768};
    {
        RawSink sink(stream);
        sink.Write(frames, 2);
        sink.Finish();
    }
    std::fclose(stream);
    const std::string bytes = clitest::ReadFile(file);
    const std::string expected{'\x01', '\x00', '\xFE', '\xFF', '\x34', '\x12', '\x00', '\x80'};
    EXPECT_EQ(bytes, expected);
}

}  // namespace
