// The velnari program as a user runs it: exit statuses, output lengths,
// masks and stems, compile messages, info, and play through SDL's disk driver.

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "CliTestSupport.h"

namespace {

using clitest::FramesPerTick;
using clitest::Quote;
using clitest::ReadFile;
using clitest::RunVelnari;
using clitest::ScratchDir;

// Two parts: an FM voice on part 1 (a 32-tick loop) and an SSG part 4 (48 ticks).
const char* const kDuet =
    "sound:1\n"
    "lfo:0,0,0,4,3\n"
    "op1:31,8,0,6,2,40,0,1,0,0\n"
    "op2:31,4,0,6,2,10,0,1,0,0\n"
    "op3:31,8,0,6,2,40,0,2,0,0\n"
    "op4:31,4,0,6,2,10,0,1,0,0\n"
    "1: @1 v12 o4 c4 e4\n"
    "4: v10 o5 g4 e4 c4\n";

int64_t WavFrames(const std::string& file) {
    SF_INFO info{};
    SNDFILE* sf = sf_open(file.c_str(), SFM_READ, &info);
    if (sf == nullptr) return -1;
    sf_close(sf);
    return info.frames;
}

// Frames in an audio file, all of them decoded; -1 when it does not open or
// does not decode whole. (An empty FLAC file gives its length as unknown.)
sf_count_t DecodedFrames(const std::string& file) {
    SF_INFO info{};
    SNDFILE* sf = sf_open(file.c_str(), SFM_READ, &info);
    if (sf == nullptr) return -1;
    std::vector<int16_t> samples(2 * 4096);
    sf_count_t frames = 0;
    for (sf_count_t n; (n = sf_readf_short(sf, samples.data(), 4096)) > 0;) frames += n;
    sf_close(sf);
    return info.frames == frames || info.frames == SF_COUNT_MAX ? frames : -1;
}

std::vector<int16_t> Samples(const std::string& rawBytes) {
    std::vector<int16_t> samples(rawBytes.size() / 2);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const auto lo = static_cast<uint8_t>(rawBytes[2 * i]);
        const auto hi = static_cast<uint8_t>(rawBytes[2 * i + 1]);
        samples[i] = static_cast<int16_t>(lo | (hi << 8));
    }
    return samples;
}

bool AllZero(const std::vector<int16_t>& samples) {
    for (int16_t s : samples) {
        if (s != 0) return false;
    }
    return true;
}

TEST(ProgramLength, SecondsGiveExactFrameCounts) {
    ScratchDir dir;
    dir.Write("duet.mml", kDuet);
    struct Case {
        const char* seconds;
        uint32_t rate;
        int64_t frames;
    };
    for (const Case& c :
         {Case{"0.5", 22050, 11025}, Case{"1", 48000, 48000}, Case{"0.1", 44100, 4410},
          Case{"0.00001", 44100, 0}, Case{"2.0000113", 44100, 88200}}) {
        const auto r = RunVelnari(dir, std::string("render duet.mml -o out.wav --seconds ") +
                                           c.seconds + " --rate " + std::to_string(c.rate));
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "") << "no progress line when standard error is not a terminal";
        EXPECT_EQ(WavFrames(dir / "out.wav"), c.frames) << c.seconds << " s at " << c.rate;
    }
    const auto raw = RunVelnari(dir, "render duet.mml -o - --seconds 0.25");
    EXPECT_EQ(raw.status, 0);
    EXPECT_EQ(raw.out.size(), 11025u * 4);
    // No frames asked for: a valid empty file in every format.
    for (const char* name : {"zero.flac", "zero.ogg", "zero.wav"}) {
        const auto r = RunVelnari(dir, std::string("render duet.mml --seconds 0 -o ") + name);
        EXPECT_EQ(r.status, 0) << name << ": " << r.err;
        EXPECT_EQ(DecodedFrames(dir / name), 0) << name;
    }
    // A character device takes raw PCM as it comes, with no temporary file.
    EXPECT_EQ(RunVelnari(dir, "render duet.mml -o /dev/null --seconds 0.25").status, 0);
    const auto full = RunVelnari(dir, "render duet.mml -o /dev/full --seconds 0.25");
    EXPECT_EQ(full.err, "velnari: cannot write to '/dev/full': the disk is full\n");
}

TEST(ProgramLength, LoopsRenderThePassesThenTheFade) {
    ScratchDir dir;
    const int64_t tick = FramesPerTick(120, 44100);
    // Part 1 loops every 32 ticks, part 4 every 48: two passes end at 96.
    dir.Write("duet.mml", kDuet);
    auto r = RunVelnari(dir, "render duet.mml -o a.wav --fade 1");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(WavFrames(dir / "a.wav"), 96 * tick + 44100);

    r = RunVelnari(dir, "render duet.mml -o b.wav --loops 3 --fade 0");
    EXPECT_EQ(WavFrames(dir / "b.wav"), 144 * tick);

    // An intro before an explicit endless loop belongs to the first pass.
    dir.Write("intro.mml", "1: t150 o4 r8 { c4 d4 }\n");
    r = RunVelnari(dir, "render intro.mml -o c.wav --loops 2 --fade 0.5");
    EXPECT_EQ(WavFrames(dir / "c.wav"), (8 + 64) * FramesPerTick(150, 44100) + 22050);
}

TEST(ProgramLength, SongsThatDoNotAdvanceRenderOnlyTheFade) {
    ScratchDir dir;
    dir.Write("settings.mml", "1: v10 o5\n4: v8\n");
    dir.Write("empty.mml", "; nothing to play\n");
    for (const char* song : {"settings.mml", "empty.mml"}) {
        const auto r = RunVelnari(dir, std::string("render ") + song + " -o out.wav --fade 2");
        EXPECT_EQ(r.status, 0) << song << r.err;
        EXPECT_EQ(WavFrames(dir / "out.wav"), 88200) << song;
    }
}

TEST(ProgramLength, LongRendersAreCutAtTheLimitWithAWarning) {
    ScratchDir dir;
    dir.Write("long.mml", "4: o4 c1 d1 e1 f1\n");  // 256 ticks, about 7.3 s per pass
    const auto r = RunVelnari(dir, "render long.mml -o out.wav --loops 3 --max-seconds 10");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.err.find("warning"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "one line: " << r.err;
    EXPECT_EQ(WavFrames(dir / "out.wav"), 441000);
}

// A render that starts part-way is the tail of the whole render: inside a
// note, on a tick boundary and at the first frame, at two rates, with the
// fade of --loops and of --seconds where a whole render has them.
TEST(ProgramLength, StartCutsOnlyTheFrontOfEveryExample) {
    ScratchDir dir;
    for (const char* name : {"demo.mml", "festival.mml", "clockwork.mml"}) {
        const std::string song = Quote(std::string(VELNARI_SOURCE_DIR) + "/examples/" + name);
        for (const char* timing : {" --rate 44100", " --rate 22050 --seconds 20 --fade 3"}) {
            const uint32_t rate =
                std::string(timing).find("22050") != std::string::npos ? 22050 : 44100;
            const auto info = nlohmann::json::parse(
                RunVelnari(dir, "info " + song + " --json --rate " + std::to_string(rate)).out);
            const int64_t tick = info["framesPerTick"];
            const auto whole = RunVelnari(dir, "render " + song + " -o -" + timing);
            ASSERT_EQ(whole.status, 0) << whole.err;
            struct Start {
                std::string option;
                int64_t frame;
            };
            for (const Start& start :
                 {Start{"--start 0:07.3217", std::llround(7.3217 * rate)},
                  Start{"--start-tick 37", 37 * tick}, Start{"--start 0", 0}}) {
                const auto part =
                    RunVelnari(dir, "render " + song + " -o - " + start.option + timing);
                ASSERT_EQ(part.status, 0) << part.err;
                EXPECT_TRUE(part.out == whole.out.substr(4 * start.frame))
                    << name << timing << " " << start.option;
            }
        }
    }
}

// Nothing left to write from the start given: no file, not even an empty
// one, and an older file of that name (or of a stem's) stays.
TEST(ProgramLength, AStartAtTheEndWritesNothing) {
    ScratchDir dir;
    dir.Write("duet.mml", kDuet);
    ASSERT_EQ(RunVelnari(dir, "render duet.mml -o duet.vgm").status, 0);
    for (const char* name : {"old.wav", "old-1.wav", "old.ogg"}) dir.Write(name, "older file");
    for (const char* arguments :
         {"render duet.mml -o old.wav --stems --start 100",
          "render duet.mml -o old.ogg --start 100", "render duet.vgm -o old.wav --start 100",
          "render duet.mml -o old.wav --seconds 2 --start-tick 1000"}) {
        const auto r = RunVelnari(dir, arguments);
        EXPECT_EQ(r.status, 0) << arguments;
        EXPECT_NE(r.err.find("nothing to write"), std::string::npos) << arguments << ": " << r.err;
    }
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"duet.mml", "duet.vgm", "old-1.wav",
                                                       "old.ogg", "old.wav"}));
    for (const char* name : {"old.wav", "old-1.wav", "old.ogg"}) {
        EXPECT_EQ(ReadFile(dir / name), "older file") << name;
    }
}

TEST(ProgramMixing, SoloMuteAndStemsSplitTheMix) {
    ScratchDir dir;
    dir.Write("duet.mml", kDuet);
    const std::string timing = " --seconds 1.5";
    const auto mix = Samples(RunVelnari(dir, "render duet.mml -o -" + timing).out);
    const auto fm = Samples(RunVelnari(dir, "render duet.mml -o - --solo 1" + timing).out);
    const auto ssg = Samples(RunVelnari(dir, "render duet.mml -o - --mute 1" + timing).out);
    const auto none = Samples(RunVelnari(dir, "render duet.mml -o - --mute 1,4" + timing).out);
    ASSERT_EQ(mix.size(), 66150u * 2);
    ASSERT_EQ(fm.size(), mix.size());
    ASSERT_EQ(ssg.size(), mix.size());
    EXPECT_FALSE(AllZero(fm));
    EXPECT_FALSE(AllZero(ssg));
    EXPECT_TRUE(AllZero(none));
    // FM and SSG are added into the output separately; at these levels
    // nothing saturates, so the mix is the sum of the two halves.
    for (std::size_t i = 0; i < mix.size(); ++i) {
        ASSERT_EQ(mix[i], fm[i] + ssg[i]) << "sample " << i;
    }

    const auto r = RunVelnari(dir, "render duet.mml -o mix.wav --stems" + timing);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(dir.Entries(),
              (std::vector<std::string>{"duet.mml", "mix-1.wav", "mix-4.wav", "mix.wav"}));
    RunVelnari(dir, "render duet.mml -o solo.wav --solo 4" + timing);
    EXPECT_EQ(ReadFile(dir / "mix-4.wav"), ReadFile(dir / "solo.wav"));
}

std::string DiskDriver(const ScratchDir& dir, const std::string& file) {
    return "SDL_AUDIODRIVER=disk SDL_DISKAUDIODELAY=1 SDL_DISKAUDIOFILE=" + Quote(dir / file);
}

TEST(ProgramMixing, VolumesComeFromTheSettingsFileUnlessOverridden) {
    // A copy of the program reads the velnari.ini beside it, as the plug-in does.
    ScratchDir dir;
    dir.Write("duet.mml", kDuet);
    const std::string program = dir / "velnari";
    std::filesystem::copy_file(VELNARI_PROGRAM, program);
    dir.Write("velnari.ini", "[velnari]\nFMVolume=-192\nPSGVolume=-192\n");
    auto render = [&](const std::string& options) {
        return Samples(
            RunVelnari(dir, "render duet.mml -o - --seconds 0.5" + options, "", program).out);
    };
    const auto plain = Samples(RunVelnari(dir, "render duet.mml -o - --seconds 0.5").out);
    const auto fm = Samples(RunVelnari(dir, "render duet.mml -o - --seconds 0.5 --solo 1").out);
    const auto ssg = Samples(RunVelnari(dir, "render duet.mml -o - --seconds 0.5 --solo 4").out);
    EXPECT_TRUE(AllZero(render("")));
    EXPECT_EQ(render(" --fm-volume 0"), fm) << "SSG still silenced by the settings file";
    EXPECT_EQ(render(" --fm-volume 0 --ssg-volume 0"), plain);
    // Renders that look ahead for the loops, played or written, and stems.
    const auto loops = RunVelnari(dir, "render duet.mml -o - --loops 1 --fade 0", "", program);
    EXPECT_FALSE(loops.out.empty());
    EXPECT_TRUE(AllZero(Samples(loops.out)));
    RunVelnari(dir, "play duet.mml --loops 1 --fade 0", DiskDriver(dir, "p.raw"), program);
    EXPECT_TRUE(AllZero(Samples(ReadFile(dir / "p.raw"))));

    // Without a file beside the program, the user's file is read.
    const std::string userFile = "velnari/velnari.ini";
    std::filesystem::create_directories(dir.path() / "xdg/velnari");
    std::filesystem::create_directories(dir.path() / "home/.config/velnari");
    dir.Write("xdg/" + userFile, "[velnari]\nFMVolume=-192\n");
    dir.Write("home/.config/" + userFile, "[velnari]\nPSGVolume=-192\n");
    struct Case {
        std::string environment;
        const std::vector<int16_t>& expected;
    };
    for (const Case& c : {Case{"XDG_CONFIG_HOME=" + Quote(dir / "xdg"), ssg},
                          Case{"XDG_CONFIG_HOME= HOME=" + Quote(dir / "home"), fm},
                          Case{"XDG_CONFIG_HOME=xdg HOME=" + Quote(dir / "home"), fm}}) {
        EXPECT_EQ(Samples(RunVelnari(dir, "render duet.mml -o - --seconds 0.5", c.environment).out),
                  c.expected)
            << c.environment;
        EXPECT_TRUE(AllZero(Samples(
            RunVelnari(dir, "render duet.mml -o - --seconds 0.5", c.environment, program).out)))
            << "the file beside the program comes first";
    }

    // A comment after a value makes it no number: 0, for it and the values after it.
    dir.Write("velnari.ini", "[velnari]\nFMVolume=-192 ; quiet\nPSGVolume=-192\n");
    const auto r = RunVelnari(dir, "render duet.mml -o - --seconds 0.5", "", program);
    EXPECT_EQ(Samples(r.out), plain);
    const std::string warning =
        "velnari.ini: FMVolume '-192 ; quiet' is not a whole number; using 0 for it and for "
        "PSGVolume, as the plug-in does\n";
    EXPECT_TRUE(r.err.starts_with("velnari: warning: /")) << r.err;
    EXPECT_TRUE(r.err.ends_with(warning)) << r.err;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "once";
}

TEST(ProgramFaults, EachGivesOneLineAndTheRightStatusAndNoFile) {
    ScratchDir dir;
    dir.Write("duet.mml", kDuet);
    dir.Write("bad.mml", "sound:1\n1: c4\n1: c4 ! d\n");
    dir.Write("empty.mml", "");
    struct Case {
        std::string arguments;
        int status;
    };
    for (const Case& c :
         {Case{"render missing.mml -o out.wav", 1}, Case{"render empty.mml -o out.wav", 1},
          Case{"render bad.mml -o out.wav", 1}, Case{"render duet.mml -o out.mp3", 2},
          Case{"render duet.mml -o no/folder/out.wav", 1},
          Case{"render duet.mml -o out.wav --loops -1", 2},
          Case{"render duet.mml -o out.wav --rate 7", 2}, Case{"render duet.mml -o ''", 2},
          Case{"info missing.mml", 1}, Case{"play missing.mml", 1}, Case{"frobnicate", 2}}) {
        const auto r = RunVelnari(dir, c.arguments);
        EXPECT_EQ(r.status, c.status) << c.arguments << "\n" << r.err;
        EXPECT_FALSE(r.err.empty()) << c.arguments;
        if (c.status == 1) {
            EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
        }
        EXPECT_EQ(r.out, "") << c.arguments;
        EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"bad.mml", "duet.mml", "empty.mml"}))
            << c.arguments;
    }
    // The compile message is the one the message box would show.
    EXPECT_EQ(RunVelnari(dir, "render bad.mml").err, "bad.mml(3) : parse error at \"! d\"\n");
    EXPECT_EQ(RunVelnari(dir, "render duet.mml -o no/folder/out.wav --stems").err,
              "velnari: cannot write 'no/folder/out.wav': 'no/folder' does not exist\n");
}

// An output that is the song under any name would replace the song: refused
// before anything is written, naming both.
TEST(ProgramFaults, AnOutputThatIsTheInputIsRefused) {
    ScratchDir dir;
    dir.Write("song.wav", kDuet);  // a song, whatever its name
    std::filesystem::create_symlink("song.wav", dir / "symbolic.wav");
    std::filesystem::create_hard_link(dir / "song.wav", dir / "hard.wav");
    dir.Write("duet.mml", kDuet);
    std::filesystem::create_hard_link(dir / "duet.mml", dir / "mix-4.wav");
    struct Case {
        const char* arguments;
        const char* err;
    };
    for (const Case& c : {
             Case{"render song.wav -o song.wav", "'song.wav': it is the input 'song.wav'"},
             Case{"render song.wav -o symbolic.wav", "'symbolic.wav': it is the input 'song.wav'"},
             Case{"render hard.wav -o song.vgm", nullptr},  // not the same file: fine
             Case{"render song.wav -o hard.wav", "'hard.wav': it is the input 'song.wav'"},
             Case{"render duet.mml -o mix.wav --stems", "'mix-4.wav': it is the input 'duet.mml'"},
         }) {
        const auto r = RunVelnari(dir, c.arguments);
        if (c.err == nullptr) {
            EXPECT_EQ(r.status, 0) << c.arguments << ": " << r.err;
            continue;
        }
        EXPECT_EQ(r.status, 2) << c.arguments;
        EXPECT_EQ(r.err, std::string("velnari: cannot write ") + c.err +
                             " itself; choose another output\n")
            << c.arguments;
    }
    EXPECT_EQ(ReadFile(dir / "song.wav"), kDuet);
    EXPECT_EQ(ReadFile(dir / "duet.mml"), kDuet);
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"duet.mml", "hard.wav", "mix-4.wav",
                                                       "song.vgm", "song.wav", "symbolic.wav"}));
}

// A disk that fills up, simulated by a file-size limit: whatever the room
// left, the render either writes a whole file or fails with status 1, one
// line saying why, and keeps the older file. The limit raises SIGXFSZ, which
// the program must not die of.
TEST(ProgramFaults, AFullDiskNeverLeavesATruncatedFileBehind) {
    ScratchDir dir;
    dir.Write("duet.mml", kDuet);
    for (const char* name : {"out.flac", "out.ogg", "out.wav", "out.vgz"}) {
        const auto whole = RunVelnari(dir, std::string("render duet.mml --seconds 4 -o ") + name);
        ASSERT_EQ(whole.status, 0) << whole.err;
        const std::string complete = ReadFile(dir / name);
        // An audio file must decode whole; a log must be the same bytes.
        auto written = [&, audio = std::string(name) != "out.vgz"] {
            return audio ? DecodedFrames(dir / name) == 4 * 44100
                         : ReadFile(dir / name) == complete;
        };
        ASSERT_TRUE(written());
        // The shell's limit counts 512-byte blocks: none, half the file, all
        // but its last bytes, and enough.
        const std::size_t blocks = complete.size() / 512;
        for (const std::size_t limit : {std::size_t{0}, blocks / 2, blocks, blocks + 1}) {
            dir.Write(name, "older file");
            // The limit applies to the program alone, in a subshell around it.
            const auto r =
                RunVelnari(dir, std::string("render duet.mml --seconds 4 -o ") + name + ")",
                           "(ulimit -f " + std::to_string(limit) + "; exec");
            const std::string where = std::string(name) + " limited to " + std::to_string(limit);
            const std::string limited =
                std::string("velnari: cannot write '") + name +
                "': the file grew past the largest size allowed here (a "
                "file-size limit such as ulimit -f, or the file system's)\n";
            if (r.status == 0) {
                EXPECT_TRUE(written()) << where;
            } else {
                EXPECT_EQ(r.status, 1) << where << "\n" << r.err;
                // Under a limit of 0 not even the message fits standard error's file.
                EXPECT_EQ(r.err, limit > 0 ? limited : "") << where;
                EXPECT_EQ(ReadFile(dir / name), "older file") << where;
            }
            EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"duet.mml", name})) << where;
        }
        std::filesystem::remove(dir / name);
    }
}

// Memory that runs out (a limit on the program's address space) ends the
// command with one line saying what it was doing, and no file.
TEST(ProgramFaults, RunningOutOfMemoryIsOneLineSayingWhatWasBeingDone) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer needs more address space than the limit leaves";
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    GTEST_SKIP() << "the address sanitizer needs more address space than the limit leaves";
#endif
#endif
    ScratchDir dir;
    dir.Write("duet.mml", kDuet);
    const auto r =
        RunVelnari(dir, "render duet.mml -o day.vgm --seconds 86400)", "(ulimit -v 100000; exec");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "velnari: out of memory while rendering 'duet.mml' to 'day.vgm'\n");
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"duet.mml"}));
}

TEST(ProgramFaults, TerminatingSignalsStopARenderAndRemoveItsFile) {
    ScratchDir dir;
    dir.Write("duet.mml", kDuet);
    for (const auto& [signal, status] :
         {std::pair{"INT", 130}, std::pair{"TERM", 143}, std::pair{"HUP", 129}}) {
        const auto r = RunVelnari(dir, "render duet.mml -o long.wav --seconds 80000",
                                  std::string("timeout --preserve-status -s ") + signal + " 0.5");
        EXPECT_EQ(r.status, status) << signal << ": " << r.err;
        EXPECT_NE(r.err.find("nothing was written"), std::string::npos) << "cleaned up, not killed";
        EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"duet.mml"})) << signal;
    }
}

TEST(ProgramCheck, PrintsCompileMessagesOnlyAndFailsIfAnySongFails) {
    ScratchDir dir;
    dir.Write("good.mml", kDuet);
    dir.Write("dot.mml", "1: c4\n\n\n\n1: c.\n");
    dir.Write("bang.mml", "; comment\n1: c4\n1: c4 ! d\n");

    auto r = RunVelnari(dir, "check good.mml good.mml");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");

    r = RunVelnari(dir, "check dot.mml good.mml bang.mml");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err,
              "dot.mml(5) : bad lexical cast: source type value could not be interpreted as "
              "target\n"
              "bang.mml(3) : parse error at \"! d\"\n");

    r = RunVelnari(dir, "check good.mml nothere.mml");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("nothere.mml"), std::string::npos);
}

TEST(ProgramWarnings, ComeFromCheckAndOnceFromARender) {
    ScratchDir dir;
    dir.Write("warned.mml", "4: v-1 c\n");
    dir.Write("bang.mml", "1: c4\n1: c4 ! d\n");
    const std::string warning =
        "warned.mml:1:4: warning: 'v-1' is out of range (0-15): it plays as v0\n";

    auto r = RunVelnari(dir, "check warned.mml");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, warning);
    EXPECT_EQ(RunVelnari(dir, "check --werror warned.mml").status, 1);
    r = RunVelnari(dir, "check --format gnu bang.mml warned.mml");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "bang.mml:2:7: error: parse error at \"! d\"\n" + warning);

    // The plain dialect's check makes each extension an error, placed.
    dir.Write("tagged.mml", "#title X\n4: v-1 c\n");
    EXPECT_EQ(RunVelnari(dir, "check tagged.mml").status, 0);
    r = RunVelnari(dir, "check --plain tagged.mml warned.mml");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "tagged.mml:1:1: error: '#title X' is an extension of the language (a tag line): "
              "players of the plain dialect refuse it\ntagged.mml:2:4: warning: 'v-1' is out of "
              "range (0-15): it plays as v0\n" +
                  warning);

    // Once, before anything is rendered; with what the options get wrong.
    r = RunVelnari(dir, "render warned.mml -o - --seconds 0.1 --solo 2,3");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, warning +
                         "velnari: warning: --solo: parts 2, 3 are not used in 'warned.mml', so "
                         "nothing sounds\n");
    for (const char* output : {"out.wav", "out.vgm"}) {
        r = RunVelnari(dir, std::string("render warned.mml --werror -o ") + output);
        EXPECT_EQ(r.status, 1) << output;
        EXPECT_TRUE(r.err.starts_with(warning)) << output << ": " << r.err;
    }
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"bang.mml", "tagged.mml", "warned.mml"}));

    // Clipping shows only in the samples: told after the render.
    dir.Write("loud.mml",
              "sound:1\nlfo:0,0,0,7,0\nop1:31,0,0,6,0,0,0,1,0,0\nop2:31,0,0,6,0,0,0,1,0,0\n"
              "op3:31,0,0,6,0,0,0,1,0,0\nop4:31,0,0,6,0,0,0,1,0,0\n1: @1 c1\n2: @1 e1\n3: @1 g1\n");
    r = RunVelnari(dir, "render loud.mml -o - --seconds 0.2");
    EXPECT_NE(r.err.find("samples reached full scale (the mix clips) at --fm-volume 0"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(RunVelnari(dir, "render loud.mml -o - --seconds 0.2 --fm-volume -20").err, "");
}

TEST(ProgramInfo, JsonDescribesTempoPartsAndDefinitions) {
    ScratchDir dir;
    dir.Write("info.mml",
              "sound:@1\nop4:31,0,0,0,0,0,0,1,0,0\n"
              "ssgenv:@2,4,15,12\n"
              "str:m=c8 $nope$\n"
              "1: t150 @1 o4 c4 $m$ d8\n"  // 16 + 8 + 8 = 32 ticks
              "5: v9\n"                    // stops at once
              "6: r4 { e2 }\n");           // 16-tick intro, 32-tick loop
    const auto r = RunVelnari(dir, "info info.mml --json");
    ASSERT_EQ(r.status, 0) << r.err;
    const auto info = nlohmann::json::parse(r.out);
    const int64_t tick = FramesPerTick(150, 44100);
    EXPECT_EQ(info["tempo"], 150);
    EXPECT_EQ(info["framesPerTick"], tick);
    EXPECT_EQ(info["rate"], 44100);
    EXPECT_EQ(info["voices"], nlohmann::json({1}));
    EXPECT_EQ(info["envelopes"], nlohmann::json({2}));
    EXPECT_EQ(info["macros"], nlohmann::json({"m"}));
    EXPECT_EQ(info["missingMacros"], nlohmann::json({"nope"}));

    const auto& parts = info["parts"];
    ASSERT_EQ(parts.size(), 6u);
    EXPECT_EQ(parts[0]["used"], true);
    EXPECT_EQ(parts[0]["firstPass"]["ticks"], 32);
    EXPECT_EQ(parts[0]["loop"]["ticks"], 32);
    EXPECT_DOUBLE_EQ(parts[0]["loop"]["seconds"].get<double>(), 32.0 * tick / 44100);
    EXPECT_EQ(parts[1]["used"], false);
    EXPECT_TRUE(parts[1]["loop"].is_null());
    EXPECT_EQ(parts[4]["used"], true);
    EXPECT_EQ(parts[4]["stops"], true);
    EXPECT_TRUE(parts[4]["loop"].is_null());
    EXPECT_EQ(parts[5]["firstPass"]["ticks"], 48);
    EXPECT_EQ(parts[5]["loop"]["ticks"], 32);
}

// SDL's disk driver writes whatever the device plays into a file, in whole
// device buffers of 2048 frames. Its thread runs from the moment the device
// opens, so silent buffers may come before the song starts (the device is
// still paused) and after it ends (until it is closed): the played file must
// hold the rendered bytes at a buffer boundary, with nothing but silence
// around them.
::testing::AssertionResult PlayedAsRendered(const std::string& played,
                                            const std::string& rendered) {
    constexpr std::size_t kBufferBytes = 2048 * 4;
    for (std::size_t at = 0; at + rendered.size() <= played.size(); at += kBufferBytes) {
        if (played.compare(at, rendered.size(), rendered) != 0) {
            if (played.find_first_not_of('\0', at) < at + kBufferBytes) break;
            continue;
        }
        if (played.find_first_not_of('\0', at + rendered.size()) != std::string::npos) break;
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << "the played bytes (" << played.size() << ") do not hold the rendered ones ("
           << rendered.size() << ")";
}

TEST(ProgramPlay, WritesTheSameBytesAsRender) {
    ScratchDir dir;
    dir.Write("duet.mml", kDuet);
    struct Case {
        std::string options;
        std::size_t bytes;
    };
    for (const Case& c :
         {Case{" --rate 32768 --seconds 1.25 --fade 0.5 --solo 1,4", 40960u * 4},
          Case{" --fade 0.2", static_cast<std::size_t>(96 * FramesPerTick(120, 44100) + 8820) * 4},
          Case{" --seconds 0.3 --mute 1 --ssg-volume -6", 13230u * 4},
          Case{" --seconds 1.5 --start-tick 40",
               static_cast<std::size_t>(66150 - 40 * FramesPerTick(120, 44100)) * 4}}) {
        const auto rendered = RunVelnari(dir, "render duet.mml -o -" + c.options);
        ASSERT_EQ(rendered.status, 0) << rendered.err;
        ASSERT_EQ(rendered.out.size(), c.bytes) << c.options;

        const auto played = RunVelnari(dir, "play duet.mml" + c.options, DiskDriver(dir, "p.raw"));
        ASSERT_EQ(played.status, 0) << played.err;
        // SDL announces its disk driver on standard error; velnari itself says nothing.
        EXPECT_EQ(played.err.find("velnari:"), std::string::npos) << played.err;
        EXPECT_EQ(played.out, "");
        EXPECT_TRUE(PlayedAsRendered(ReadFile(dir / "p.raw"), rendered.out)) << c.options;
    }
}

}  // namespace
