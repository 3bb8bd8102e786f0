// Register logs through the velnari program: a song exported as VGM, VGZ and
// S98 and played back gives the song's own bytes; what render refuses or
// ignores for a log; the warning when no loop is found; info on a log; and a
// damaged log refused with a reason.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>

#include "CliTestSupport.h"

namespace {

using clitest::FramesPerTick;
using clitest::ReadFile;
using clitest::RunVelnari;
using clitest::ScratchDir;

// Part 1 loops 48 ticks after a 16-tick intro, part 4 loops 32 ticks: the
// writes repeat every 96 ticks, from tick 9 (holding the intro's note looks
// the same as holding the loop's last one).
const char* const kSong =
    "sound:1\n"
    "lfo:0,0,0,4,3\n"
    "op1:31,8,0,6,2,40,0,1,0,0\n"
    "op2:31,4,0,6,2,10,0,1,0,0\n"
    "op3:31,8,0,6,2,40,0,2,0,0\n"
    "op4:31,4,0,6,2,10,0,1,0,0\n"
    "1: t150 @1 v12 o4 c4 { e4 g4 e8 c8 }\n"
    "4: v10 o5 { g4 e8 c8 }\n";

TEST(ProgramRegisterLog, EveryFormatPlaysTheSongsBytes) {
    ScratchDir dir;
    dir.Write("song.mml", kSong);
    const auto song = RunVelnari(dir, "render song.mml -o - --seconds 9");
    ASSERT_EQ(song.status, 0) << song.err;
    for (const char* file : {"song.vgm", "song.vgz", "song.s98"}) {
        const auto exported = RunVelnari(dir, std::string("render song.mml -o ") + file);
        ASSERT_EQ(exported.status, 0) << exported.err;
        EXPECT_EQ(exported.err, "");
        const auto played = RunVelnari(dir, std::string("render ") + file + " -o - --seconds 9");
        ASSERT_EQ(played.status, 0) << played.err;
        EXPECT_TRUE(played.out == song.out) << file;
    }
    // A log started a second in plays the same frames from there.
    const auto later = RunVelnari(dir, "render song.vgm -o - --seconds 9 --start 1");
    ASSERT_EQ(later.status, 0) << later.err;
    EXPECT_TRUE(later.out == song.out.substr(44100 * 4));
    EXPECT_EQ(dir.Entries(),
              (std::vector<std::string>{"song.mml", "song.s98", "song.vgm", "song.vgz"}))
        << "no temporary files left";
    // What a file holds decides whether it is a log: a song named as one
    // plays as the song, and can be exported.
    dir.Write("text.vgm", kSong);
    EXPECT_TRUE(RunVelnari(dir, "render text.vgm -o - --seconds 9").out == song.out);
    const auto text = RunVelnari(dir, "render text.vgm -o text.s98");
    ASSERT_EQ(text.status, 0) << text.err;
    EXPECT_TRUE(RunVelnari(dir, "render text.s98 -o - --seconds 9").out == song.out);
    std::filesystem::remove(dir / "text.vgm");
    std::filesystem::remove(dir / "text.s98");

    // By default a log plays its intro and two trips through its loop, then
    // the fade.
    const auto loops = RunVelnari(dir, "render song.vgm -o -");
    ASSERT_EQ(loops.status, 0) << loops.err;
    EXPECT_EQ(loops.out.size(),
              static_cast<std::size_t>((9 + 2 * 96) * FramesPerTick(150, 44100) + 5 * 44100) * 4);
    const auto played = RunVelnari(dir, "play song.vgz --seconds 1",
                                   "SDL_AUDIODRIVER=disk SDL_DISKAUDIODELAY=1 "
                                   "SDL_DISKAUDIOFILE=" +
                                       clitest::Quote(dir / "p.raw"));
    ASSERT_EQ(played.status, 0) << played.err;
    // SDL's disk driver may write silent buffers before the first one played.
    EXPECT_NE(ReadFile(dir / "p.raw").find(song.out.substr(0, 44100 * 4)), std::string::npos);
}

TEST(ProgramRegisterLog, RefusesOrIgnoresWhatDoesNotApply) {
    ScratchDir dir;
    dir.Write("song.mml", kSong);
    ASSERT_EQ(RunVelnari(dir, "render song.mml -o song.vgm").status, 0);
    struct Case {
        const char* arguments;
        int status;
        const char* err;  // a part of standard error
    };
    const Case cases[] = {
        {"render song.mml -o x.vgm --mute 1", 2, "--mute cannot be used for a register log"},
        {"render song.mml -o x.s98 --solo 4", 2, "--solo cannot be used"},
        {"render song.mml -o x.vgz --stems", 2, "--stems cannot be used"},
        {"render song.vgm -o x.s98", 2, "is a register log already"},
        {"render song.vgm -o x.wav --stems", 2, "a register log has no parts"},
        {"render song.mml -o x.wav --title T", 2, "--title is for register-log outputs"},
        {"render song.mml -o x.vgm --date 1.1.2026", 2, "is not yyyy, yyyy/mm or yyyy/mm/dd"},
        {"render song.mml -o x.vgm --date 2026/13/45", 2, "'2026/13/45' is no real date"},
        {"render song.mml -o x.vgm --date 2026/02/30", 2, "'2026/02/30' is no real date"},
        {"render song.mml -o x.vgm --date 2025/02/29", 2, "'2025/02/29' is no real date"},
        {"render song.mml -o x.vgm --date 2024/02/29", 0, ""},
        {"render song.mml -o x.vgm --author \"$(printf 'a\\nb')\"", 2,
         "only --notes may hold line breaks"},
        {"render song.mml -o x.vgm --title \"$(printf '\\377')\"", 2, "not UTF-8"},
        {"render song.mml -o x.vgm --rate 48000 --ssg-volume 3 --fade 1", 0,
         "warning: --rate does not apply to a register log"},
        {"render song.mml -o x.vgm --ssg-volume 3", 0, "warning: --ssg-volume does not apply"},
        {"render song.mml -o x.vgm --start 1", 2, "--start cannot be used for a register log"},
        {"render song.vgm -o x.wav --start-tick 4", 2, "a register log has no ticks"},
        {"play song.vgm --watch", 2, "--watch needs a song to compile"},
        {"render song.mml -o missing/x.vgm", 1, "cannot write 'missing/x.vgm'"},
    };
    for (const Case& c : cases) {
        const auto r = RunVelnari(dir, c.arguments);
        EXPECT_EQ(r.status, c.status) << c.arguments << ": " << r.err;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << c.arguments << ": " << r.err;
    }
}

TEST(ProgramRegisterLog, WarnsWhenTheLoopsDoNotLineUpWithinTheLimit) {
    ScratchDir dir;
    // Loops of 21 and 73 ticks line up only after 1533 ticks (26 s at t150).
    dir.Write("odd.mml", std::string(kSong).substr(0, std::string(kSong).find("1: ")) +
                             "1: t150 @1 { c3 }\n4: v10 { c1 c7 }\n");
    const auto r = RunVelnari(dir, "render odd.mml -o odd.vgm --max-seconds 30");
    ASSERT_EQ(r.status, 0) << r.err;
    for (const char* part :
         {"warning: 'odd.mml' has no loop within 30 s: the loops of parts 1 (21 ticks, ",
          ") and 4 (73 ticks, ", ") line up only every 1533 ticks"}) {
        EXPECT_NE(r.err.find(part), std::string::npos) << r.err;
    }
    const auto info = nlohmann::json::parse(RunVelnari(dir, "info odd.vgm --json").out);
    EXPECT_TRUE(info["loopStart"].is_null());
    EXPECT_EQ(info["samples"], 30 * 44100);
}

// A signal stops every phase of an export within moments (the search, the
// recording, the writing, the compression) with 128 + its number, keeping
// the older file: sent at several points through a long export, timed from
// a whole run.
TEST(ProgramRegisterLog, ASignalAtAnyPointOfAnExportStopsItAtOnce) {
    ScratchDir dir;
    dir.Write("song.mml", kSong);
    const std::string export_ = "render song.mml -o long.vgz --seconds 43200";
    auto timed = [&](const std::string& environment) {
        const auto start = std::chrono::steady_clock::now();
        const auto r = RunVelnari(dir, export_, environment);
        return std::pair{
            r, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count()};
    };
    const auto [whole, seconds] = timed("");
    ASSERT_EQ(whole.status, 0) << whole.err;
    const std::string complete = ReadFile(dir / "long.vgz");
    for (const double share : {0.3, 0.6, 0.8, 0.95}) {
        dir.Write("long.vgz", "older file");
        const double delay = share * seconds;
        const auto [r, took] = timed("timeout --preserve-status -s INT " + std::to_string(delay));
        const std::string where =
            "signal after " + std::to_string(delay) + " s of " + std::to_string(seconds);
        if (r.status == 0) {
            // Done before the signal came (a faster run): the whole log, never a part of it.
            EXPECT_EQ(ReadFile(dir / "long.vgz"), complete) << where;
            continue;
        }
        EXPECT_EQ(r.status, 130) << where << ": " << r.err;
        // A few milliseconds on a quiet machine; a busy one may add scheduling delays.
        EXPECT_LT(took - delay, 1.0) << where;
        EXPECT_EQ(ReadFile(dir / "long.vgz"), "older file") << where;
        EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"long.vgz", "song.mml"})) << where;
    }
}

TEST(ProgramRegisterLog, InfoShowsHeaderLengthLoopAndTags) {
    ScratchDir dir;
    dir.Write("song.mml", kSong);
    ASSERT_EQ(RunVelnari(dir,
                         "render song.mml -o song.vgz --author 'Ann Example' "
                         "--notes \"$(printf 'two\\nlines')\" --date 2026/11")
                  .status,
              0);
    const auto text = RunVelnari(dir, "info song.vgz");
    ASSERT_EQ(text.status, 0) << text.err;
    EXPECT_NE(text.out.find("format:    VGM 1.71, "), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("notes:     two\n           lines\n"), std::string::npos) << text.out;

    const auto info = nlohmann::json::parse(RunVelnari(dir, "info song.vgz --json").out);
    const int64_t tick = FramesPerTick(150, 44100);
    EXPECT_EQ(info["gzipped"], true);
    EXPECT_EQ(info["clock"], 3993600);
    EXPECT_EQ(info["loopStart"], 9 * tick);
    EXPECT_EQ(info["loopSamples"], 96 * tick);
    EXPECT_EQ(info["samples"], (9 + 96) * tick);
    EXPECT_EQ(info["tags"]["title"], "song") << "the song's base name";
    EXPECT_EQ(info["tags"]["author"], "Ann Example");
    EXPECT_EQ(info["tags"]["date"], "2026/11");
    EXPECT_EQ(info["tags"]["notes"], "two\nlines");
    EXPECT_EQ(info["tags"]["maker"].get<std::string>().rfind("velnari ", 0), 0u);

    // A song's tag lines are the log's tags, where no option says otherwise.
    dir.Write(
        "tagged.mml",
        std::string("#title Rain\n#composer Ann\n#date 2026/12\n#notes a\n#notes b\n") + kSong);
    const auto song = nlohmann::json::parse(RunVelnari(dir, "info tagged.mml --json").out);
    EXPECT_EQ(
        song["tags"],
        nlohmann::json(
            {{"title", "Rain"}, {"composer", "Ann"}, {"date", "2026/12"}, {"notes", "a\nb"}}));
    EXPECT_EQ(song["extensions"], nlohmann::json({"#tags"}));
    ASSERT_EQ(RunVelnari(dir, "render tagged.mml -o tagged.vgm --author Bob").status, 0);
    const auto tagged = nlohmann::json::parse(RunVelnari(dir, "info tagged.vgm --json").out);
    EXPECT_EQ(tagged["tags"]["title"], "Rain");
    EXPECT_EQ(tagged["tags"]["author"], "Bob");
    EXPECT_EQ(tagged["tags"]["date"], "2026/12");
    EXPECT_EQ(tagged["tags"]["notes"], "a\nb");

    // A file name in Shift-JIS gives its characters; a control character in
    // a tag reaches no terminal.
    dir.Write("\x93\xFA\x96\x7B.mml", kSong);
    ASSERT_EQ(RunVelnari(dir,
                         "render $(printf '\\223\\372\\226{.mml') -o sj.vgm "
                         "--author \"$(printf 'red \\033[31m')\"")
                  .status,
              0);
    const auto named = nlohmann::json::parse(RunVelnari(dir, "info sj.vgm --json").out);
    EXPECT_EQ(named["tags"]["title"], "\u65E5\u672C");
    EXPECT_NE(RunVelnari(dir, "info sj.vgm").out.find("author:    red \\x1B[31m\n"),
              std::string::npos);
}

TEST(ProgramRegisterLog, ADamagedLogIsRefusedWithItsReason) {
    ScratchDir dir;
    dir.Write("song.mml", kSong);
    ASSERT_EQ(RunVelnari(dir, "render song.mml -o song.vgm").status, 0);
    const std::string bytes = ReadFile(dir / "song.vgm");
    dir.Write("cut.vgm", bytes.substr(0, bytes.size() / 2));
    for (const char* command : {"render cut.vgm -o x.wav", "play cut.vgm", "info cut.vgm"}) {
        const auto r = RunVelnari(dir, command);
        EXPECT_EQ(r.status, 1) << command;
        EXPECT_NE(r.err.find("'cut.vgm': the file is cut short"), std::string::npos) << r.err;
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "x.wav"));

    // Bytes after the compressed data leave the music whole: it plays, and
    // every command says what was ignored, in the same words.
    ASSERT_EQ(RunVelnari(dir, "render song.mml -o song.vgz").status, 0);
    dir.Write("tail.vgz", ReadFile(dir / "song.vgz") + "junk");
    for (const char* command :
         {"render tail.vgz -o x.wav --seconds 1", "play tail.vgz --seconds 1", "info tail.vgz"}) {
        const auto r = RunVelnari(dir, command,
                                  "SDL_AUDIODRIVER=disk SDL_DISKAUDIODELAY=1 SDL_DISKAUDIOFILE=" +
                                      clitest::Quote(dir / "p.raw"));
        EXPECT_EQ(r.status, 0) << command << ": " << r.err;
        EXPECT_NE(r.err.find("warning: 'tail.vgz': 4 bytes after the compressed data, ignored\n"),
                  std::string::npos)
            << command << ": " << r.err;
    }
}

}  // namespace
