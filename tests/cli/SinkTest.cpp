// Output files: the format follows the extension, the data lands under the
// target name only when complete, and raw output is little-endian PCM.

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cstdio>
#include <filesystem>
#include <vector>

#include "CliTestSupport.h"
#include "output/RawSink.h"
#include "output/SndFileSink.h"

using namespace cli;

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

TEST(FileSink, WritesEachFormatOnlyWhenFinished) {
    ScratchDir dir;
    const std::vector<int16_t> samples = Ramp(5000);
    for (const char* name : {"mix.wav", "mix.flac", "MIX.OGG"}) {
        {
            SndFileSink sink(dir / name, 22050, 5000);
            sink.Write(samples.data(), 3000);
            sink.Write(samples.data() + 6000, 2000);
            EXPECT_FALSE(std::filesystem::exists(dir / name)) << "visible before Finish";
            sink.Finish();
        }
        const ReadBack back = Read(dir / name);
        EXPECT_EQ(back.info.channels, 2) << name;
        EXPECT_EQ(back.info.samplerate, 22050) << name;
        EXPECT_EQ(back.info.frames, 5000) << name;
        if (name[0] == 'm') {
            EXPECT_EQ(back.samples, samples) << name << " is lossless";
        }
    }
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"MIX.OGG", "mix.flac", "mix.wav"}));
}

TEST(FileSink, AnUnfinishedFileLeavesNothingBehind) {
    ScratchDir dir;
    const std::vector<int16_t> samples = Ramp(100);
    {
        SndFileSink sink(dir / "half.wav", 44100, 100);
        sink.Write(samples.data(), 100);
        EXPECT_EQ(dir.Entries().size(), 1u);  // the temporary file
    }
    EXPECT_TRUE(dir.Entries().empty());

    // An older complete file under the target name survives a failed render.
    dir.Write("keep.wav", "earlier render");
    { SndFileSink sink(dir / "keep.wav", 44100, 0); }
    EXPECT_EQ(clitest::ReadFile(dir / "keep.wav"), "earlier render");
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"keep.wav"}));
}

TEST(FileSink, WavBecomesRf64WhereItsSizesWouldWrap) {
    // 0xFFFFFFFF - 36 bytes of data fit a WAV file: 1073741814 whole frames.
    EXPECT_EQ(SndFileSink::FormatFor("a.wav", 1073741814), SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    EXPECT_EQ(SndFileSink::FormatFor("a.wav", 1073741815), SF_FORMAT_RF64 | SF_FORMAT_PCM_16);
    EXPECT_EQ(SndFileSink::FormatFor("a.flac", int64_t{1} << 40),
              SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
}

TEST(FileSink, ATargetNameAtTheFileSystemsLimitStillGetsItsTemporaryFile) {
    ScratchDir dir;
    std::string name;
    for (int i = 0; i < 81; ++i) name += "\xE6\x9B\xB2";  // 243 bytes of U+66F2
    name += ".wav";
    const std::filesystem::path temporary = SndFileSink::TemporaryFor(dir / name);
    EXPECT_EQ(temporary.parent_path(), std::filesystem::path(dir / name).parent_path());
    EXPECT_LE(temporary.filename().string().size(), 255u);
    const std::vector<int16_t> samples = Ramp(10);
    SndFileSink sink(dir / name, 44100, 10);
    sink.Write(samples.data(), 10);
    sink.Finish();
    EXPECT_EQ(Read(dir / name).samples, samples);
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
