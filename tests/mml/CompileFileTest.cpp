// Faults as data (line, column, the message the plug-in shows), files that
// cannot be read, and texts that must compile without running out of stack
// or time.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "MmlTestSupport.h"
#include "platform/ErrorReporter.h"
#include "support/ScratchFolder.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

using song::Command;

namespace {

using mmltest::CompileText;

std::string ParseError(int line, const std::string& excerpt) {
    return "FILE(" + std::to_string(line) + ") : parse error at \"" + excerpt + "\"\n";
}

TEST(CompileFiles, FilesThatCannotBeReadGiveNeitherSongNorFault) {
    testsupport::ScratchFolder folder("velnari-mml");
    const std::string empty = folder.Write("empty.mml", "");
    std::vector<std::string> paths = {"/nonexistent/velnari/song.mml", empty,
                                      folder.Path().string()};
#ifndef _WIN32
    // A FIFO with no writer would block an open for ever.
    paths.push_back(empty + ".fifo");
    ASSERT_EQ(::mkfifo(paths.back().c_str(), 0600), 0);
#endif
    for (const std::string& path : paths) {
        const Tarsel::FileCompileResult result = Tarsel::CompileFile(path);
        EXPECT_FALSE(result.readable) << path;
        EXPECT_FALSE(result.song) << path;
        EXPECT_FALSE(result.fault) << path;
    }
    const std::string faulty = folder.Write("faulty.mml", "sound:1\r\n1: l8 c\r\n1: c4 ! d\r\n");
    const Tarsel::FileCompileResult result = Tarsel::CompileFile(faulty);
    EXPECT_TRUE(result.readable);
    ASSERT_TRUE(result.fault);
    EXPECT_EQ(result.fault->message, faulty + "(3) : parse error at \"! d\"\n");
}

TEST(CompileText, TextWithoutPartsIsAnEmptySong) {
    const mmltest::Compiled compiled = CompileText("; nothing to play\r\nsound:1\r\n\r\n");
    ASSERT_TRUE(compiled.song);
    EXPECT_TRUE(compiled.messages.empty());
    for (int p = 0; p < song::kPartCount; ++p) EXPECT_FALSE(compiled.song->IsPartUsed(p));
}

struct MessageCase {
    std::string source;
    std::string message;  // with the file name as FILE
    int32_t column;       // where the parse stopped
};

class ParseErrors : public ::testing::TestWithParam<MessageCase> {};

TEST_P(ParseErrors, GiveTheFirstFaultWithItsColumnAndAnExcerptCutAtAControlByte) {
    const mmltest::Compiled compiled = CompileText(GetParam().source);
    EXPECT_FALSE(compiled.song);
    EXPECT_EQ(compiled.messages, (std::vector<std::string>{GetParam().message}));
    ASSERT_TRUE(compiled.fault);
    EXPECT_EQ(compiled.fault->kind, Tarsel::CompileFault::Kind::kParse);
    EXPECT_EQ(compiled.fault->column, GetParam().column);
}

INSTANTIATE_TEST_SUITE_P(Excerpts, ParseErrors,
                         ::testing::Values(MessageCase{"1:c\n1:d # e\tf\n", ParseError(2, "# e"),
                                                       5},
                                           MessageCase{"1:c\n\n1:d #", ParseError(3, "#"), 5},
                                           MessageCase{"1:c\r\n2:e \x83\x47\x1F"
                                                       "x\r\n",
                                                       ParseError(2, "\x83\x47"), 5},
                                           MessageCase{"1:c \x7F"
                                                       "d\n",
                                                       ParseError(1, ""), 5},
                                           // A leading byte-order mark is skipped,
                                           // and not counted in the column.
                                           MessageCase{"\xEF\xBB\xBF"
                                                       "1:c !\n",
                                                       ParseError(1, "!"), 5},
                                           MessageCase{"1:c\r2:c\r3:e99999999999 c\r",
                                                       ParseError(3, "99999999999 c"), 4},
                                           MessageCase{"1:c\r\n\x1A"
                                                       "8:c\r\n",
                                                       ParseError(2, "8:c"), 2},
                                           MessageCase{"ssgenv:0,1,\r\n -> 2 ; x\r\n -> 3\r\n",
                                                       ParseError(3, "-> 3"), 2},
                                           MessageCase{"1:c!\n1:d!\n", ParseError(1, "!"), 4}));

TEST(CompileText, ALoopBreakOutsideAnyLoopOrAVolumeStepWithASignIsAFaultAtItsStart) {
    struct Case {
        const char* source;
        int32_t line, column;  // 0: the text compiles
        const char* message;
    };
    for (const Case& c : {
             Case{"1: {2 c} : d\n", 1, 10, "':' is outside any loop"},
             Case{"1: c\n4: {2 c : d}\n4: e : f\n", 3, 6, "':' is outside any loop"},
             Case{"2: c )+1 d\n", 1, 6, "\")+1\" has a sign: ')' takes a count"},
             Case{"1: {2 c\n1: : d}\nstr:m = c : d\n5: (0 ) (", 0, 0, ""},
         }) {
        const mmltest::Compiled compiled = CompileText(c.source);
        EXPECT_EQ(!compiled.song, c.line != 0) << c.source;
        if (!compiled.fault) continue;
        EXPECT_EQ(compiled.fault->kind, Tarsel::CompileFault::Kind::kException);
        EXPECT_EQ(compiled.fault->line, c.line) << c.source;
        EXPECT_EQ(compiled.fault->column, c.column) << c.source;
        EXPECT_EQ(
            compiled.fault->message.rfind("FILE(" + std::to_string(c.line) + ") : " + c.message, 0),
            0u)
            << compiled.fault->message;
    }
}

TEST(CompileText, ACommandThatCannotBeCompiledIsPlacedAtItsStart) {
    const mmltest::Compiled compiled = CompileText("1:c\n1: c4 d. e\n");
    EXPECT_FALSE(compiled.song);
    ASSERT_TRUE(compiled.fault);
    EXPECT_EQ(compiled.fault->kind, Tarsel::CompileFault::Kind::kException);
    EXPECT_EQ(compiled.fault->line, 2);
    EXPECT_EQ(compiled.fault->column, 7);
    EXPECT_EQ(compiled.fault->message,
              "FILE(2) : bad lexical cast: source type value could not be interpreted as target\n");
    EXPECT_EQ(compiled.fault->readable,
              "the length in \"d.\" is not a number (a dot needs a number before it, with no "
              "blank)");
}

TEST(CompileText, TheReadableFormQuotesTheRestOfTheLinePastTabsAndControlBytes) {
    const mmltest::Compiled compiled = CompileText("1: c ! d\te\x1F" + std::string(70, 'f') + "\n");
    ASSERT_TRUE(compiled.fault);
    EXPECT_EQ(compiled.fault->detail, "! d");
    EXPECT_EQ(compiled.fault->readable,
              "parse error at \"! d[tab]e[U+001F]" + std::string(54, 'f') + "\u2026\"");
}

TEST(ErrorReporter, ShowsOnStandardErrorOnlyAndAnEmptyReporterRestoresTheDefault) {
    std::vector<std::string> captured;
    const platform::ErrorReporter capturing = [&](std::string_view, std::string_view text) {
        captured.emplace_back(text);
    };
    const platform::ErrorReporter original = platform::SetErrorReporter(capturing);
    platform::ErrorReporter previous = platform::SetErrorReporter({});
    EXPECT_TRUE(previous);  // the capturing one
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    platform::ShowError("x.mml(1) : boom\n");
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    platform::SetErrorReporter(original);
    EXPECT_NE(err.find("x.mml(1) : boom"), std::string::npos);
    EXPECT_NE(err.find(platform::kErrorCaption), std::string::npos);
    EXPECT_TRUE(captured.empty());
}

TEST(CompileText, CompilesOnSeveralThreadsGiveEachTheirOwnSong) {
    std::vector<std::string> texts;
    for (int i = 0; i < 4; ++i) {
        std::string text;
        for (int line = 0; line < 2000; ++line) text += "1:o" + std::to_string(i) + " c d e\n";
        texts.push_back(text);
    }
    std::vector<std::shared_ptr<const Song>> songs(texts.size());
    {
        std::vector<std::thread> threads;
        for (std::size_t i = 0; i < texts.size(); ++i) {
            threads.emplace_back([&, i] { songs[i] = Tarsel::Compile(texts[i], "song").song; });
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
TEST(CompileRobustness, HugeLinesManyLinesAndDeepBrackets) {
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
