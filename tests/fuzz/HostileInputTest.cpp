// Hostile input from every side the player is open to: files that are not
// songs or are songs at the limits of the language, songs whose settings no
// sane piece uses, and hosts that ask for odd rates, odd sizes or call with
// null handles. In each case the defined behaviour, or a clear refusal; the
// sanitizer builds add that nothing reads or writes out of bounds.
//
// Big inputs are generated here into a temporary folder, never committed.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "engine/Settings.h"
#include "mml/Compile.h"
#include "platform/ErrorReporter.h"
#include "plugin/EntryPoints.h"
#include "plugin/Player.h"
#include "song/Song.h"
#include "support/ScratchFolder.h"

using plugin::Player;
using song::Song;

namespace {

namespace fs = std::filesystem;

// A per-test folder, removed with everything in it.
class Scratch : public testsupport::ScratchFolder {
  public:
    Scratch() : ScratchFolder("velnari-hostile") {}
};

// Compile messages, captured instead of shown.
class Messages {
  public:
    Messages() {
        previous_ = platform::SetErrorReporter(
            [this](std::string_view, std::string_view text) { texts.emplace_back(text); });
    }
    ~Messages() { platform::SetErrorReporter(previous_); }
    std::vector<std::string> texts;

  private:
    platform::ErrorReporter previous_;
};

// Counts what reaches the chip: every register write, and key-on writes
// (register 0x28 with an operator bit set) per FM channel.
class WriteCounter : public engine::RegisterWriteObserver {
  public:
    void OnRegisterWrite(int64_t, uint32_t addr, uint32_t data) override {
        ++writes;
        if (addr == 0x28 && (data & 0xF0) != 0 && (data & 3) < 3) ++keyOns[data & 3];
        if (addr < 0x100) {
            seen[addr][data & 0xFF] = true;
            last[addr] = static_cast<int>(data);
        }
    }
    uint64_t writes = 0;
    uint64_t keyOns[3] = {};
    bool seen[256][256] = {};
    int last[256] = {};  // the value written last to each register
};

std::string Repeat(std::string_view piece, std::size_t times) {
    std::string out;
    out.reserve(piece.size() * times);
    for (std::size_t i = 0; i < times; ++i) out += piece;
    return out;
}

// The file compiled as the plug-in opens it: the song, or null with the
// fault shown through the platform's reporter (which the tests capture).
std::shared_ptr<const Song> LoadSong(const char* path) {
    if (path == nullptr) return nullptr;
    const Tarsel::FileCompileResult compiled = Tarsel::CompileFile(path);
    if (compiled.fault) platform::ShowError(compiled.fault->message);
    return compiled.song;
}

// An opened player at `rate` with its engine, or a test failure.
std::unique_ptr<Player> OpenAt(const std::string& path, uint32_t rate = 44100) {
    auto player = std::make_unique<Player>(engine::Volumes{});
    SoundInfo info{};
    info.samplesPerSec = rate;
    if (!player->Open(path.c_str(), &info)) return nullptr;
    return player;
}

// Renders `frames` frames in requests of at most `chunk` frames.
std::vector<int16_t> RenderFrames(Player& player, uint32_t frames, uint32_t chunk = 4096) {
    std::vector<int16_t> out(std::size_t{frames} * 2);
    for (uint32_t done = 0; done < frames;) {
        const uint32_t n = std::min(chunk, frames - done);
        EXPECT_EQ(player.Render(out.data() + std::size_t{done} * 2, n * 4), n * 4);
        done += n;
    }
    return out;
}

// ---------------------------------------------------------------------------
// Files

class HostileFiles : public ::testing::Test {
  protected:
    struct Outcome {
        bool compiled;
        std::vector<std::string> messages;
        std::string path;
    };
    Outcome Compile(std::string_view bytes, const std::string& name = "song.mml") {
        Messages messages;
        const std::string path = scratch_.Write(name, bytes);
        const bool compiled = LoadSong(path.c_str()) != nullptr;
        return {compiled, messages.texts, path};
    }
    Scratch scratch_;
};

struct SmallFileCase {
    const char* name;
    std::string_view bytes;
    bool compiles;
    // What the one message ends with when refused. A number too large for 32
    // bits is not a number: the line fails where it stands, at its sign if
    // it has one.
    const char* messageTail;
};

TEST_F(HostileFiles, SmallOddFilesCompileOrAreRefusedWithOneMessage) {
    using namespace std::string_view_literals;
    const SmallFileCase cases[] = {
        {"one line end", "\n", true, nullptr},
        {"one comment byte", ";", true, nullptr},
        {"one part digit", "1", false, "(1) : parse error at \"1\"\n"},
        {"one letter", "c", false, "(1) : parse error at \"c\"\n"},
        {"NUL inside a part line", "1: c\0d\n"sv, false, "(1) : parse error at \"\"\n"},
        {"NUL line", "\0\n"sv, false, "(1) : parse error at \"\"\n"},
        {"byte-order mark",
         "\xEF\xBB\xBF"
         "1: c\n",
         true, nullptr},
        {"two byte-order marks",
         "\xEF\xBB\xBF\xEF\xBB\xBF"
         "1: c\n",
         false,
         "(1) : parse error at \"\xEF\xBB\xBF"
         "1: c\"\n"},
        {"8-bit text in a comment", "1: c ; \x83\x47\x83\x89\x81\x5B\n", true, nullptr},
        {"8-bit text in a part line", "\n1: c \x83\x47 d\n", false,
         "(2) : parse error at \"\x83\x47 d\"\n"},
        {"largest 32-bit argument", "1: v2147483647 n-2147483648 c\n", true, nullptr},
        {"argument past 32 bits", "1: c v2147483648\n", false,
         "(1) : parse error at \"2147483648\"\n"},
        {"negative argument past 32 bits", "1: n-2147483649 c\n", false,
         "(1) : parse error at \"-2147483649 c\"\n"},
        {"length past 32 bits", "1: c4294967296\n", false, "(1) : parse error at \"4294967296\"\n"},
        {"sound number past 32 bits", "sound:@99999999999\n", false,
         "(1) : parse error at \"sound:@99999999999\"\n"},
        {"envelope level past 32 bits", "ssgenv:@1,1,15,4294967295\n", false,
         "(1) : parse error at \"4294967295\"\n"},
        {"note length without digits", "\n\n1: c.\n", false,
         "(3) : bad lexical cast: source type value could not be interpreted as target\n"},
    };
    for (const SmallFileCase& c : cases) {
        SCOPED_TRACE(c.name);
        const Outcome out = Compile(c.bytes);
        EXPECT_EQ(out.compiled, c.compiles);
        if (c.compiles) {
            EXPECT_TRUE(out.messages.empty());
        } else {
            ASSERT_EQ(out.messages.size(), 1u);
            EXPECT_EQ(out.messages[0], out.path + c.messageTail);
        }
    }
}

TEST_F(HostileFiles, FilesThatCannotBeReadAreRefusedSilently) {
    EXPECT_FALSE(Compile("").compiled);
    EXPECT_TRUE(Compile("").messages.empty());

    Messages messages;
    EXPECT_EQ(LoadSong(scratch_.Path().string().c_str()), nullptr);  // a directory
    EXPECT_EQ(LoadSong((scratch_.Path() / "missing.mml").string().c_str()), nullptr);
    EXPECT_EQ(LoadSong(nullptr), nullptr);
    EXPECT_TRUE(messages.texts.empty());
}

TEST_F(HostileFiles, UnreadableFileIsRefusedSilently) {
    const std::string path = scratch_.Write("locked.mml", "1: c\n");
    fs::permissions(path, fs::perms::none);
    // Others may enter the folder, so only the file's own permissions stand
    // in the reader's way.
    fs::permissions(scratch_.Path(), fs::perms::group_exec | fs::perms::others_exec,
                    fs::perm_options::add);
    const auto refusedSilently = [&] {
        Messages messages;
        return LoadSong(path.c_str()) == nullptr && messages.texts.empty();
    };
    if (::geteuid() != 0) {
        if (std::ifstream(path).is_open()) {
            GTEST_SKIP() << "file permissions do not apply on this file system";
        }
        EXPECT_TRUE(refusedSilently());
        return;
    }
    // Permissions do not bind root, so the file is read by a child process
    // that has given up root for the unprivileged user "nobody".
    enum : int { kRefused = 0, kRead = 1, kStillReadable = 2, kCannotDropRoot = 3 };
    constexpr uid_t kNobody = 65534;
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) std::_Exit(kCannotDropRoot);
        if (std::ifstream(path).is_open()) std::_Exit(kStillReadable);
        std::_Exit(refusedSilently() ? kRefused : kRead);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "the reading child died";
    switch (WEXITSTATUS(status)) {
        case kCannotDropRoot:
            GTEST_SKIP() << "this process may not change its user";
        case kStillReadable:
            GTEST_SKIP() << "file permissions do not apply on this file system";
        default:
            EXPECT_EQ(WEXITSTATUS(status), kRefused)
                << "the unreadable file was compiled or reported";
    }
}

TEST_F(HostileFiles, PipesAreRefusedWithoutWaitingForAWriter) {
    const fs::path pipe = scratch_.Path() / "pipe.mml";
    const std::string make = "mkfifo '" + pipe.string() + "' 2>/dev/null";
    if (std::system(make.c_str()) != 0 || !fs::is_fifo(pipe)) {
        GTEST_SKIP() << "no named pipes here";
    }
    Messages messages;
    auto song = std::async(std::launch::async, [&] { return LoadSong(pipe.string().c_str()); });
    auto volumes =
        std::async(std::launch::async, [&] { return engine::ReadVolumes(pipe.string()); });
    const bool songReturned = song.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    const bool volumesReturned =
        volumes.wait_for(std::chrono::seconds(1)) == std::future_status::ready;
    if (!songReturned || !volumesReturned) {
        // Open the pipe for writing and close it again: the blocked readers
        // then see an empty file, and the test can end.
        std::ofstream writer(pipe);
    }
    EXPECT_TRUE(songReturned) << "compiling a pipe waits for a writer";
    EXPECT_TRUE(volumesReturned) << "reading settings from a pipe waits for a writer";
    EXPECT_EQ(song.get(), nullptr);
    const engine::Volumes v = volumes.get();
    EXPECT_EQ(v.fm, 0);
    EXPECT_EQ(v.ssg, 0);
    EXPECT_TRUE(messages.texts.empty());
}

TEST_F(HostileFiles, TenMegabyteLinesCompile) {
    const std::string tenMB(10u << 20, 'x');
    EXPECT_TRUE(Compile("; " + tenMB + "\n1: c\n").compiled);
    EXPECT_TRUE(Compile("d: " + tenMB + "\n1: c\n").compiled);
    // Ten megabytes of blanks in a part line are skipped like one.
    EXPECT_TRUE(Compile("1: c" + std::string(10u << 20, ' ') + "d\n").compiled);

    // The excerpt of a failing long line runs to the end of the line.
    const Outcome bad = Compile("1: c !" + tenMB + "\n1: d\n");
    ASSERT_EQ(bad.messages.size(), 1u);
    EXPECT_EQ(
        bad.messages[0].size(),
        bad.path.size() + std::string_view("(1) : parse error at \"!\"\n").size() + tenMB.size());
}

TEST_F(HostileFiles, MillionsOfLinesAreCountedExactly) {
    constexpr std::size_t kLines = 2'000'000;
    const Outcome out = Compile(Repeat("\n", kLines) + "1: c ! d\n");
    ASSERT_EQ(out.messages.size(), 1u);
    EXPECT_EQ(out.messages[0],
              out.path + "(" + std::to_string(kLines + 1) + ") : parse error at \"! d\"\n");
    EXPECT_TRUE(Compile(Repeat("1: c\r\n", 300'000)).compiled);
}

// ---------------------------------------------------------------------------
// Songs: compiled and played for a second or two.

class HostileSongs : public ::testing::Test {
  protected:
    // Compiles and opens `text`, renders `frames` and returns the player.
    std::unique_ptr<Player> Play(std::string_view text, uint32_t frames = 44100,
                                 uint32_t rate = 44100) {
        Messages messages;
        auto player = OpenAt(scratch_.Write("song.mml", text), rate);
        EXPECT_TRUE(messages.texts.empty()) << messages.texts.front();
        if (!player) {
            ADD_FAILURE() << "did not open";
            return nullptr;
        }
        player->Engine()->SetRegisterWriteObserver(&counter_);
        RenderFrames(*player, frames);
        return player;
    }
    Scratch scratch_;
    WriteCounter counter_;
};

TEST_F(HostileSongs, TemposOutsideMusicKeepTheClockMoving) {
    // Tempo 0 makes one tick last for ever: only the first tick runs. Huge
    // and negative tempos make every frame a tick.
    struct Case {
        const char* tempo;
        int64_t ticksAfter1000Frames;
    };
    const Case cases[] = {{"0", 1}, {"-1", 1000}, {"-2147483648", 1000}, {"2147483647", 1000}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tempo);
        auto player = Play(std::string("1: t") + c.tempo + " c64 d64\n", 1000);
        ASSERT_TRUE(player);
        EXPECT_GE(player->Engine()->FramesPerTick(), 1);
        EXPECT_EQ(player->Engine()->Tick(), c.ticksAfter1000Frames);
    }
}

TEST_F(HostileSongs, ArgumentsAtTheirLimitsPlay) {
    const char* songs[] = {
        "1: l0 c d e\n4: l0 c d e\n",
        "1: q-5 c d\n4: q-2147483648 c\n5: q2147483647 c4\n",
        "1: o-3 c <<<< c- \n4: o-3 < c- c\n5: o99 >>> b+ c\n",
        "1: n2147483647 c n-2147483648 c\n4: n2147483647 c n-2147483648 c\n",
        "1: i2147483647,1,0 c1 i-2147483648,2147483647,2147483647 c\n"
        "4: i2147483647,1,0 c1 i-2147483648,1,-5 c\n",
        "1: p2147483647 o1 c o8 b p1 c- b+\n4: p2147483647 o1 c o8 b+ p-9 c\n",
        "1: u2147483647,1,0 c u-2147483648,2147483647,-1 c\n"
        "4: u-2147483648,1,0 c u2147483647,3,2147483647 c\n",
        "1: r2147483647 w-5 c\n4: w0 r0 c\n",
        "4: m-1 s-1 c m2147483647 s2147483647 c m65536 s16 c\n",
        "1: @-2147483648 c @99 c\n4: @2147483647 c @-1 c\n",
        "1: {-1 c}\n2: {-2147483648 c64 }\n4: {2147483647 c64 }\n",
    };
    for (const char* song : songs) {
        SCOPED_TRACE(song);
        auto player = Play(song, 88200);
        ASSERT_TRUE(player);
    }
}

TEST_F(HostileSongs, EnvelopesOfAnyShapePlay) {
    // The level written last to SSG channel A's volume register after two
    // seconds: the part volume 15 plus the envelope level, less 15. A step
    // length of 0 cannot be divided by and holds the first level; a negative
    // one holds it for as many ticks as its magnitude, then the last level; a
    // huge one never leaves the first.
    struct Case {
        std::string song;
        int volume;
    };
    const std::string thousands = "ssgenv:@3,1," + Repeat("14,", 3000) + "7\n";
    const Case cases[] = {
        {"ssgenv:@1,0,12,3\n4: @1 c1\n", 12},
        {"ssgenv:@1,-3,12,3\n4: @1 c1\n", 3},  // the second note is 6 ticks in
        {"ssgenv:@1,-7,12,3\n4: @1 c1\n", 12},
        {"ssgenv:@1,-2147483648,12,3\n4: @1 c1\n", 12},
        {"ssgenv:@1,2147483647,12,3\n4: @1 c1\n", 12},
        {"ssgenv:@1,1,999,-5,2147483647\n4: @1 c1\n", 15},  // levels wrap to 8 bits, then limit
        {"ssgenv:@1,1,\n4: @1 c1\n", 0},                    // one empty level reads as 0
        {thousands + "4: @3 c1\n", 14},
        {"4: @12345 c1\n", 15},  // never defined: the default envelope
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.song.substr(0, 60));
        ASSERT_TRUE(Play(c.song, 88200));
        EXPECT_EQ(counter_.last[0x08], c.volume);
    }
}

TEST_F(HostileSongs, EveryRegisterGetsEveryValue) {
    // 256 ticks, one per register address, each writing all 256 values, at a
    // tempo that makes every frame a tick; then values out of range.
    std::string song = "1: t2147483647\n";
    for (int addr = 0; addr < 256; ++addr) {
        song += "1:";
        for (int data = 0; data < 256; ++data) {
            song += " y" + std::to_string(addr) + "," + std::to_string(data);
        }
        song += " r64\n";
    }
    song += "1: y256,1 y-1,1 y2147483647,-1 y-2147483648,2147483647 y40,-2147483648 r64\n";
    auto player = Play(song, 300);
    ASSERT_TRUE(player);
    for (int addr = 0; addr < 256; ++addr) {
        for (int data = 0; data < 256; ++data) {
            ASSERT_TRUE(counter_.seen[addr][data]) << addr << "," << data;
        }
    }
}

TEST_F(HostileSongs, RunawayMacrosAndLoopsEndTheirPart) {
    // Each of these parts runs away (recursion, nesting beyond any sane
    // depth, a negative-count loop without time, more "{" than "}"); the
    // part must end, while part 1 keeps playing beside it.
    const std::string chain = [] {
        std::string s;
        for (int i = 0; i < 2000; ++i) {
            s += "str:m" + std::to_string(i) + " = $m" + std::to_string(i + 1) + "$\n";
        }
        return s + "str:m2000 = c\n";
    }();
    const std::string songs[] = {
        "str:a = $a$\n2: $a$\n",
        "str:a = c64 $a$\n2: $a$\n",
        "str:a = $b$\nstr:b = $a$\n2: $a$ c\n",
        chain + "2: $m0$\n",
        "2: " + Repeat("{", 10000) + " c64 " + Repeat("}", 10000) + "\n",
        "2: {-1 v1 }\n",
        "2: {2 {3 c64 \n",
    };
    for (const std::string& song : songs) {
        SCOPED_TRACE(song.substr(0, 60));
        auto player = Play("1: t2147483647 l64 c\n" + song, 44100);
        ASSERT_TRUE(player);
        EXPECT_FALSE(player->Engine()->Part(1).active);
        EXPECT_TRUE(player->Engine()->Part(0).active);
    }
}

TEST_F(HostileSongs, DeeplyRepeatedMacrosPlayInBoundedWork) {
    // m20 expands to 2^20 notes; each tick plays one, however deep the nesting.
    std::string song = "str:m0 = c64\n";
    for (int i = 1; i <= 20; ++i) {
        song += "str:m" + std::to_string(i) + " = $m" + std::to_string(i - 1) + "$ $m" +
                std::to_string(i - 1) + "$\n";
    }
    auto player = Play(song + "1: t2147483647 $m20$\n", 20000);
    ASSERT_TRUE(player);
    EXPECT_TRUE(player->Engine()->Part(0).active);
    EXPECT_EQ(counter_.keyOns[0], 20000u);  // one note per tick, one tick per frame
}

TEST_F(HostileSongs, WorkPerFrameIsBoundedWhateverTheTempo) {
    // Six parts that loop commands without time, more of them per tick from
    // song to song, at a tempo that makes every frame a tick. A part either
    // ends (its loop is too long for a tick) or plays on; either way what
    // reaches the chip per frame must stay under one fixed ceiling, or a
    // second of audio could take hours.
    constexpr uint32_t kFrames = 50;
    constexpr uint64_t kMostWritesPerFrame = 4096;
    for (int loops : {10, 100, 200, 300, 1000, 10000, 20000}) {
        SCOPED_TRACE(loops);
        std::string song = "1: t2147483647\n";
        for (int part = 1; part <= 6; ++part) {
            song += std::to_string(part) + ": { {" + std::to_string(loops) + " v1 y7,63 } c64 }\n";
        }
        counter_ = WriteCounter();
        auto player = Play(song, kFrames);
        ASSERT_TRUE(player);
        EXPECT_LE(counter_.writes, kFrames * kMostWritesPerFrame);
        if (loops <= 10) {
            // A short loop is no runaway: it plays on.
            for (int part = 0; part < 6; ++part) EXPECT_TRUE(player->Engine()->Part(part).active);
        }
    }
}

// ---------------------------------------------------------------------------
// Hosts

class HostileHosts : public ::testing::Test {
  protected:
    std::string Song() const {
        return scratch_.Write("song.mml", "1: l8 o4 c d e f g\n4: l8 o5 c e g\n");
    }
    Scratch scratch_;
};

TEST_F(HostileHosts, RatesTheChipCannotServeAreRefusedAtOpen) {
    struct Case {
        uint32_t rate;
        bool opens;
        uint32_t rateAfter;
    };
    const Case cases[] = {{0, true, 44100},
                          {1, false, 1},
                          {7999, false, 7999},
                          {8000, true, 8000},
                          {192000, true, 192000},
                          {192001, false, 192001},
                          {4294967295u, false, 4294967295u}};
    const std::string song = Song();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rate);
        Player player(engine::Volumes{});
        SoundInfo info{};
        info.samplesPerSec = c.rate;
        EXPECT_EQ(player.Open(song.c_str(), &info), c.opens);
        EXPECT_EQ(info.samplesPerSec, c.rateAfter);
        // Opened or not, rendering fills the request and stays in it.
        std::vector<uint8_t> buffer(4096 + 2, 0xA5);
        EXPECT_EQ(player.Render(buffer.data(), 4096), 4096u);
        EXPECT_EQ(buffer[4096], 0xA5);
        EXPECT_EQ(buffer[4097], 0xA5);
    }
}

TEST_F(HostileHosts, RenderSizesBelowOneFrameWriteNothing) {
    auto player = OpenAt(Song());
    ASSERT_TRUE(player);
    for (uint32_t size : {0u, 1u, 3u}) {
        std::vector<uint8_t> buffer(8, 0xA5);
        EXPECT_EQ(player->Render(buffer.data(), size), size);
        EXPECT_TRUE(std::all_of(buffer.begin(), buffer.end(), [](uint8_t b) { return b == 0xA5; }));
    }
}

TEST_F(HostileHosts, NullHandlesAreIgnored) {
    std::vector<uint8_t> buffer(4096, 0xA5);
    EXPECT_EQ(plugin::Render(nullptr, buffer.data(), 4096), 0u);
    EXPECT_TRUE(std::all_of(buffer.begin(), buffer.end(), [](uint8_t b) { return b == 0xA5; }));
    EXPECT_EQ(plugin::SetPosition(nullptr, 90000), 0u);
    plugin::Close(nullptr);
    SoundInfo info{};
    EXPECT_EQ(plugin::Open(nullptr, &info), nullptr);
    EXPECT_EQ(plugin::Open(Song().c_str(), nullptr), nullptr);
}

TEST_F(HostileHosts, ManyPlayersRenderAsIfAlone) {
    constexpr int kPlayers = 12;
    constexpr uint32_t kFrames = 30000;
    std::vector<std::string> songs;
    for (int i = 0; i < kPlayers; ++i) {
        songs.push_back(scratch_.Write(
            "song" + std::to_string(i) + ".mml",
            "1: t" + std::to_string(90 + 7 * i) + " l16 o" + std::to_string(2 + i % 5) +
                " c d e f g a b\n3: @" + std::to_string(i) + " v" + std::to_string(4 + i) +
                " c1\n" + "4: m" + std::to_string(100 * i) + " s" + std::to_string(i % 16) +
                " c2 d2\nssgenv:@0,1,15,3\n6: @0 c4 r4\n"));
    }
    // Alone: one player at a time, from open to the last frame.
    std::vector<std::vector<int16_t>> alone;
    for (const std::string& song : songs) {
        auto player = OpenAt(song, 48000);
        ASSERT_TRUE(player);
        alone.push_back(RenderFrames(*player, kFrames, 1000));
    }
    // Together: all open at once, their requests interleaved with odd sizes.
    std::vector<std::unique_ptr<Player>> players;
    for (const std::string& song : songs) players.push_back(OpenAt(song, 48000));
    std::vector<std::vector<int16_t>> together(kPlayers, std::vector<int16_t>(kFrames * 2));
    std::vector<uint32_t> done(kPlayers, 0);
    for (uint32_t round = 0; round < kFrames; round += 1) {
        bool any = false;
        for (int i = 0; i < kPlayers; ++i) {
            const uint32_t want = std::min<uint32_t>(97 + 31 * i, kFrames - done[i]);
            if (want == 0) continue;
            any = true;
            ASSERT_TRUE(players[i]);
            players[i]->Render(together[i].data() + std::size_t{done[i]} * 2, want * 4);
            done[i] += want;
        }
        if (!any) break;
    }
    for (int i = 0; i < kPlayers; ++i) {
        SCOPED_TRACE(i);
        EXPECT_TRUE(together[i] == alone[i]);
    }
}

}  // namespace
