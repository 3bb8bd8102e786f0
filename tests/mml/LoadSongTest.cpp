// Loading files: what reaches the user when a file cannot be compiled, and
// files that must compile without running out of stack or time.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "MmlTestSupport.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

using mmltest::CompileText;
using mmltest::TempFile;

std::string ParseError(int line, const std::string& excerpt) {
    return "FILE(" + std::to_string(line) + ") : parse error at \"" + excerpt + "\"\n";
}

TEST(LoadSongFiles, UnopenableFilesGiveNullWithoutAMessage) {
    mmltest::CapturedErrors errors;
    EXPECT_EQ(LoadSong(nullptr), nullptr);
    EXPECT_EQ(LoadSong("/nonexistent/velnari/song.mml"), nullptr);
    {
        TempFile empty("");
        EXPECT_EQ(LoadSong(empty.path().c_str()), nullptr);
        const std::string dir = std::filesystem::path(empty.path()).parent_path().string();
        EXPECT_EQ(LoadSong(dir.c_str()), nullptr);
#ifndef _WIN32
        // A FIFO with no writer would block an open for ever.
        const std::string fifo = empty.path() + ".fifo";
        ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
        EXPECT_EQ(LoadSong(fifo.c_str()), nullptr);
        ::unlink(fifo.c_str());
#endif
    }
    EXPECT_TRUE(errors.texts.empty());
}

TEST(LoadSongFiles, AFileWithoutPartsIsAnEmptySong) {
    const mmltest::Compiled compiled = CompileText("; nothing to play\r\nsound:1\r\n\r\n");
    ASSERT_TRUE(compiled.song);
    EXPECT_TRUE(compiled.messages.empty());
    for (int p = 0; p < Song::kPartCount; ++p) EXPECT_FALSE(compiled.song->IsPartUsed(p));
}

TEST(LoadSongMessages, NameTheFileAndLineUnderTheShiftJisCaption) {
    TempFile file("sound:1\r\n1: l8 c\r\n1: c4 ! d\r\n2: e\r\n");
    mmltest::CapturedErrors errors;
    EXPECT_EQ(LoadSong(file.path().c_str()), nullptr);
    ASSERT_EQ(errors.texts.size(), 1u);
    EXPECT_EQ(errors.texts[0], file.path() + "(3) : parse error at \"! d\"\n");
    EXPECT_EQ(errors.captions[0], "\x83\x47\x83\x89\x81\x5B");
    EXPECT_EQ(errors.captions[0], std::string(platform::kErrorCaption));
}

struct MessageCase {
    std::string source;
    std::string message;  // with the file name as FILE
};

class ParseErrors : public ::testing::TestWithParam<MessageCase> {};

TEST_P(ParseErrors, ShowTheFirstFaultWithAnExcerptCutAtAControlByte) {
    const mmltest::Compiled compiled = CompileText(GetParam().source);
    EXPECT_FALSE(compiled.song);
    EXPECT_EQ(compiled.messages, (std::vector<std::string>{GetParam().message}));
}

INSTANTIATE_TEST_SUITE_P(
    Excerpts, ParseErrors,
    ::testing::Values(MessageCase{"1:c\n1:d # e\tf\n", ParseError(2, "# e")},
                      MessageCase{"1:c\n\n1:d #", ParseError(3, "#")},
                      MessageCase{"1:c\r\n2:e \x83\x47\x1F"
                                  "x\r\n",
                                  ParseError(2, "\x83\x47")},
                      MessageCase{"1:c \x7F"
                                  "d\n",
                                  ParseError(1, "")},
                      MessageCase{"\xEF\xBB\xBF"
                                  "1:c\n",
                                  ParseError(1,
                                             "\xEF\xBB\xBF"
                                             "1:c")},
                      MessageCase{"1:c\r2:c\r3:e99999999999 c\r", ParseError(3, "99999999999 c")},
                      MessageCase{"1:c\r\n\x1A"
                                  "8:c\r\n",
                                  ParseError(2, "8:c")},
                      MessageCase{"ssgenv:0,1,\r\n -> 2 ; x\r\n -> 3\r\n", ParseError(3, "-> 3")},
                      MessageCase{"1:c!\n1:d!\n", ParseError(1, "!")}));

TEST(LoadSongMessages, NothingIsWrittenToStandardOutput) {
    ::testing::internal::CaptureStdout();
    {
        TempFile file("1:c !\n");
        EXPECT_EQ(LoadSong(file.path().c_str()), nullptr);  // default reporter: standard error
    }
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
}

TEST(LoadSongMessages, AnEmptyReporterRestoresTheDefault) {
    mmltest::CapturedErrors outer;
    platform::ErrorReporter previous = platform::SetErrorReporter({});
    EXPECT_TRUE(previous);  // the capturing one
    ::testing::internal::CaptureStderr();
    platform::ShowError("x.mml(1) : boom\n");
    const std::string err = ::testing::internal::GetCapturedStderr();
    platform::SetErrorReporter(previous);
    EXPECT_NE(err.find("x.mml(1) : boom"), std::string::npos);
    EXPECT_NE(err.find(platform::kErrorCaption), std::string::npos);
    EXPECT_TRUE(outer.texts.empty());
}

TEST(LoadSongFiles, CompilesOnSeveralThreadsGiveEachTheirOwnSong) {
    std::vector<std::unique_ptr<TempFile>> files;
    for (int i = 0; i < 4; ++i) {
        std::string text;
        for (int line = 0; line < 2000; ++line) text += "1:o" + std::to_string(i) + " c d e\n";
        files.push_back(std::make_unique<TempFile>(text));
    }
    std::vector<std::unique_ptr<Song>> songs(files.size());
    {
        std::vector<std::thread> threads;
        for (std::size_t i = 0; i < files.size(); ++i) {
            threads.emplace_back([&, i] { songs[i] = LoadSong(files[i]->path().c_str()); });
        }
        for (std::thread& t : threads) t.join();
    }
    for (std::size_t i = 0; i < songs.size(); ++i) {
        ASSERT_TRUE(songs[i]);
        EXPECT_EQ(songs[i]->Part(0).size(), 2000u * 4 + 2);
        EXPECT_EQ(*std::next(songs[i]->Part(0).begin()), Command('O', static_cast<int32_t>(i)));
    }
}

// Sizes that a recursive grammar or a quadratic step would not survive.
TEST(LoadSongRobustness, HugeLinesManyLinesAndDeepBrackets) {
    std::string longLine = "1:";
    std::size_t groups = 0;
    for (; longLine.size() < 10 * 1024 * 1024; ++groups) longLine += "c8d+16 r4 v10 ";
    longLine += "\n";
    const mmltest::Compiled big = CompileText(longLine);
    ASSERT_TRUE(big.song);
    EXPECT_EQ(big.song->Part(0).size(), groups * 4 + 2);

    std::string manyLines;
    for (int i = 0; i < 1'000'000; ++i) manyLines += "1:c\n";
    manyLines += "1:!";
    const mmltest::Compiled many = CompileText(manyLines);
    EXPECT_FALSE(many.song);
    EXPECT_EQ(many.messages, (std::vector<std::string>{ParseError(1'000'001, "!")}));

    const std::string brackets = "1:" + std::string(10'000, '{') + "c" + std::string(10'000, '}');
    const mmltest::Compiled deep = CompileText(brackets);
    ASSERT_TRUE(deep.song);
    EXPECT_EQ(deep.song->Part(0).size(), 20'003u);

    std::string longName =
        "str:" + std::string(1'000'000, 'a') + "=c\n1:$" + std::string(1'000'000, 'a') + "$\n";
    const mmltest::Compiled named = CompileText(longName);
    ASSERT_TRUE(named.song);
    EXPECT_EQ(named.song->Macros().size(), 1u);
}

}  // namespace
