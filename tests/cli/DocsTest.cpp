// The documentation tells the truth: the songs in docs/ compile without
// warnings, the command lines of docs/cli.md run, its info example is the
// program's real output, and what docs/mml.md states about surprising
// behaviour holds for the engine. A change that makes the docs stale fails
// here.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <memory>
#include <numeric>
#include <string>
#include <vector>

#include "CliTestSupport.h"
#include "engine/Engine.h"
#include "engine/LoopDetector.h"
#include "mml/Warnings.h"

namespace {

using clitest::Quote;
using clitest::ReadFile;
using clitest::RunVelnari;
using clitest::ScratchDir;

std::string Doc(const std::string& name) {
    return ReadFile(std::string(VELNARI_SOURCE_DIR) + "/docs/" + name);
}

// The fenced blocks of a Markdown text whose info string is `info`, without
// the indentation of their fence.
std::vector<std::string> Blocks(const std::string& doc, const std::string& info) {
    std::vector<std::string> blocks;
    std::istringstream lines(doc);
    std::string line;
    std::size_t indent = std::string::npos;  // set while inside a wanted block
    bool inOther = false;
    while (std::getline(lines, line)) {
        const std::size_t start = line.find_first_not_of(' ');
        const bool fence = start != std::string::npos && line.compare(start, 3, "```") == 0;
        if (indent != std::string::npos) {
            if (fence) {
                indent = std::string::npos;
            } else {
                blocks.back() += (line.size() > indent ? line.substr(indent) : "") + "\n";
            }
        } else if (fence && inOther) {
            inOther = false;
        } else if (fence) {
            if (line.substr(start + 3) == info) {
                indent = start;
                blocks.emplace_back();
            } else {
                inOther = true;
            }
        }
    }
    return blocks;
}

TEST(Docs, SongsCompileWithoutWarnings) {
    int songs = 0;
    for (const char* doc : {"mml.md", "cli.md"}) {
        for (const std::string& block : Blocks(Doc(doc), "mml")) {
            ++songs;
            const Tarsel::ReviewResult reviewed = Tarsel::Review(block, "doc");
            EXPECT_FALSE(reviewed.fault) << doc << ":\n" << block;
            // A fragment (an envelope alone) may play nothing; nothing else.
            for (const Tarsel::Warning& w : reviewed.warnings) {
                if (w.line != 0) ADD_FAILURE() << doc << ":\n" << block << w.text;
            }
        }
    }
    EXPECT_GE(songs, 4);
}

TEST(Docs, CommandLinesOfTheCliGuideRun) {
    ScratchDir dir;
    std::filesystem::copy(std::string(VELNARI_SOURCE_DIR) + "/examples", dir / "examples");
    const std::string path =
        "export PATH=" + Quote(std::filesystem::path(VELNARI_PROGRAM).parent_path().string()) +
        ":\"$PATH\";";
    int run = 0;
    for (const std::string& block : Blocks(Doc("cli.md"), "sh")) {
        std::istringstream lines(block);
        for (std::string line; std::getline(lines, line);) {
            // Not the synopsis, pipes, or playback through a sound card.
            const bool runnable = line.starts_with("velnari ") || line.starts_with("mkdir ");
            if (!runnable || line.starts_with("velnari play") ||
                line.find("SONG") != std::string::npos || line.find(" LOG ") != std::string::npos ||
                line.find('|') != std::string::npos) {
                continue;
            }
            ++run;
            // A line may end in a comment: it ends before the redirection.
            const std::string command = "cd " + Quote(dir.path().string()) + " && " + path + " (" +
                                        line + "\n) >/dev/null 2>" + Quote(dir / ".err");
            EXPECT_EQ(std::system(command.c_str()), 0) << line << "\n" << ReadFile(dir / ".err");
        }
    }
    EXPECT_GE(run, 10);
}

TEST(Docs, TheInfoExampleIsTheRealOutput) {
    const std::string cli = Doc("cli.md");
    const std::vector<std::string> songs = Blocks(cli, "mml");
    const std::vector<std::string> console = Blocks(cli, "console");
    const std::vector<std::string> json = Blocks(cli, "json");
    ASSERT_EQ(songs.size(), 1u);
    ASSERT_EQ(console.size(), 1u);
    ASSERT_EQ(json.size(), 1u);
    ScratchDir dir;
    dir.Write("arpeggio.mml", songs[0]);
    const std::string prompt = "$ velnari info arpeggio.mml\n";
    ASSERT_TRUE(console[0].starts_with(prompt));
    EXPECT_EQ(RunVelnari(dir, "info arpeggio.mml").out, console[0].substr(prompt.size()));
    EXPECT_EQ(RunVelnari(dir, "info arpeggio.mml --json").out, json[0]);
}

// The engine's view of a song: what it renders, where its loops are, what it
// writes to the chip.
std::shared_ptr<const song::Song> Song(const std::string& text) {
    Tarsel::CompileResult compiled = Tarsel::Compile(text, "doc");
    EXPECT_FALSE(compiled.fault) << text;
    return compiled.song;
}

std::vector<int16_t> Render(const std::string& text, int32_t frames = 44100) {
    engine::Engine engine(Song(text), 44100);
    std::vector<int16_t> samples(2 * static_cast<std::size_t>(frames));
    engine.Render(samples.data(), frames);
    return samples;
}

engine::PartLoops Loops(const std::string& text) {
    engine::Engine engine(Song(text), 44100);
    return engine::LoopDetector::Run(engine, 2, 10000).parts[0];
}

// Every write to one register, in order.
struct RegisterWrites : engine::RegisterWriteObserver {
    explicit RegisterWrites(uint32_t address) : address(address) {}
    void OnRegisterWrite(int64_t, uint32_t a, uint32_t data) override {
        if (a == address) values.push_back(data);
    }
    uint32_t address;
    std::vector<uint32_t> values;
};

std::vector<uint32_t> Writes(const std::string& text, uint32_t address, int32_t frames) {
    engine::Engine engine(Song(text), 44100);
    RegisterWrites writes(address);
    engine.SetRegisterWriteObserver(&writes);
    std::vector<int16_t> samples(2 * static_cast<std::size_t>(frames));
    engine.Render(samples.data(), frames);
    return writes.values;
}

// The left channel of `samples` from frame `from` on.
std::vector<double> Left(const std::vector<int16_t>& samples, std::size_t from = 0) {
    std::vector<double> left;
    for (std::size_t i = 2 * from; i < samples.size(); i += 2) left.push_back(samples[i]);
    return left;
}

// The mean power of `x` at 44100 Hz over the frequencies low to high, in
// steps of 1 Hz, in dB.
double BandLevel(const std::vector<double>& x, double low, double high) {
    double sum = 0.0;
    int bins = 0;
    for (double f = low; f <= high; f += 1.0, ++bins) {
        const double c = 2.0 * std::cos(2.0 * 3.14159265358979 * f / 44100.0);
        double s1 = 0.0, s2 = 0.0;
        for (const double v : x) {
            const double s0 = v + c * s1 - s2;
            s2 = s1;
            s1 = s0;
        }
        sum += s1 * s1 + s2 * s2 - c * s1 * s2;
    }
    return 10.0 * std::log10(sum / bins);
}

TEST(Docs, WhatTheLanguageGuideStatesHolds) {
    const std::string mml = Doc("mml.md");
    struct Statement {
        const char* quote;  // stands in docs/mml.md
        std::function<void()> check;
    };
    const std::string voice =
        "sound:@1\nop1:31,0,0,7,0,30,0,1,0,0\nop2:31,0,0,7,0,0,0,1,0,0\n"
        "op3:31,0,0,7,0,127,0,1,0,0\nop4:31,0,0,7,0,127,0,1,0,0\n1: @1 c4 e4\n";
    const Statement statements[] = {
        {"(`1: c d } e` plays `c d c d ...`, never `e`)",
         [] {
             const engine::PartLoops loops = Loops("1: c d } e\n");
             ASSERT_EQ(loops.passEnds.size(), 2u);
             EXPECT_EQ(loops.passEnds[1] - loops.passEnds[0], 128);
         }},
        {"(`1: c { d` plays `c d d d ...`)",
         [] {
             const engine::PartLoops loops = Loops("1: c { d\n");
             ASSERT_EQ(loops.passEnds.size(), 2u);
             EXPECT_EQ(loops.passEnds[0], 128);
             EXPECT_EQ(loops.passEnds[1] - loops.passEnds[0], 64);
         }},
        {"(`1: c {3 d` plays `c d d d` once)",
         [] {
             const engine::PartLoops loops = Loops("1: c {3 d\n");
             EXPECT_TRUE(loops.stopped.has_value());
             EXPECT_TRUE(loops.passEnds.empty());
         }},
        {"play exactly the same samples",
         [] { EXPECT_EQ(Render("4: v12 c4 r4 q4 c4 r4\n"), Render("4: v12 c4 w4 q4 c4 w4\n")); }},
        {"plays the same on the left and the right channel",
         [] {
             const std::vector<int16_t> samples =
                 Render(ReadFile(std::string(VELNARI_SOURCE_DIR) + "/examples/demo.mml"));
             for (std::size_t i = 0; i < samples.size(); i += 2) {
                 ASSERT_EQ(samples[i], samples[i + 1]) << "frame " << i / 2;
             }
         }},
        {"a voice sounds the same whatever they are",
         [&] {
             EXPECT_EQ(Render("lfo:9,-9,99,4,5\n" + voice), Render("lfo:0,0,0,4,5\n" + voice));
         }},
        {"`op 2:` is the same as `op2:`",
         [] {
             EXPECT_EQ(Song("op 2:31,1,2,3,4,5,1,2,3,0\n")->Voices(),
                       Song("op2:31,1,2,3,4,5,1,2,3,0\n")->Voices());
         }},
        {"| `l16..` | nothing happens",
         [] { EXPECT_EQ(Song("1: l16.. c\n")->Part(0).size(), 3u) << "{, the note, }"; }},
        {"`i0` is the way to switch",
         [] {
             const std::string tremolo = "4: v12 u4,1 c4 ";
             EXPECT_EQ(Render(tremolo + "i0 c4\n"), Render(tremolo + "u0 c4\n"));
             EXPECT_NE(Render(tremolo + "i0 c4\n"), Render(tremolo + "c4\n"));
             const std::string glide = "4: v12 p8 c4 >c4 ";
             EXPECT_EQ(Render(glide + "i0 <c4\n"), Render(glide + "p0 <c4\n"));
             EXPECT_NE(Render(glide + "i0 <c4\n"), Render(glide + "<c4\n"));
         }},
        // Channel A's tone period, low byte (register 0) of each note.
        {"`4: o1 c1 n-510 c1` plays the\nfirst C at 33 Hz and the second (two semitones lower) at "
         "667 Hz",
         [] {
             const std::vector<uint32_t> low = Writes("4: t30 v12 o1 c1 n-510 c1\n", 0, 44100 * 8);
             ASSERT_GE(low.size(), 2u);
             EXPECT_EQ(low[0], 3816u & 0xFF) << "period 3816: 32.7 Hz";
             EXPECT_EQ(low[1], 187u) << "period 4283 cut to 187: 667 Hz";
         }},
        {"under `q4`, `a4&a4` sounds for 24 of its 32 ticks, as `q8 a4&a8`",
         [] { EXPECT_EQ(Render("4: v12 q4 a4&a4 r2\n"), Render("4: v12 a4&a8 r8 r2\n")); }},
        {"`q1` sounds an eighth of the note",
         [] {
             EXPECT_EQ(Render("4: v12 q1 c4 r4\n"), Render("4: v12 c32 r8 r16. r4\n"));
             EXPECT_EQ(Render("4: v12 q1 c8 r4\n"), Render("4: v12 c64 r16. r64 r4\n"));
             EXPECT_EQ(Render("4: v12 q0 c4 r4\n"), Render("4: v12 c64 r8 r16 r32 r64 r4\n"));
         }},
        {"`velnari` says `cannot read 'song.mml' (missing,\nunreadable or empty)`",
         [] {
             ScratchDir dir;
             dir.Write("song.mml", "");
             const std::string said =
                 "velnari: cannot read 'song.mml' (missing, unreadable or empty)\n";
             EXPECT_EQ(RunVelnari(dir, "check song.mml").err, said);
             EXPECT_EQ(RunVelnari(dir, "render song.mml -o song.wav").err, said);
             EXPECT_EQ(RunVelnari(dir, "check gone.mml").err,
                       "velnari: cannot read 'gone.mml' (missing, unreadable or empty)\n");
         }},
        {"is overwritten in the same tick and never heard, inside a tie or not",
         [] {
             EXPECT_EQ(Render("4: v12 c4 y7,54 c4 r4 y7,54 r4\n"), Render("4: v12 c4 c4 r4 r4\n"));
             EXPECT_EQ(Render("4: v12 c4 & y7,54 c4\n"), Render("4: v12 c4 & c4\n"));
             // Written by another part while the SSG part holds its note, it is heard.
             EXPECT_NE(Render("1: r4 y7,54 r2\n4: v12 c1\n"), Render("1: r4 r2\n4: v12 c1\n"));
         }},
        {"part 6's `m240` also shortens part 5's hits",
         [] {
             EXPECT_NE(Render("5: m1800 s0 o2 a4 r4\n6: m240 r1\n"),
                       Render("5: m1800 s0 o2 a4 r4\n6: r1\n"));
         }},
        {"and the note turns rough: `4: m40 l1 o6 v15 s8 c` sounds its 1049 Hz tone",
         [] {
             // One second without its first tenth, left channel.
             const std::vector<int16_t> all = Render("4: m40 l1 o6 v15 s8 c\n");
             std::vector<double> left;
             for (std::size_t i = 2 * 4410; i < all.size(); i += 2) left.push_back(all[i]);
             const auto level = [&](double low, double high) {  // strongest bin, in dB
                 double best = 0.0;
                 for (double f = low; f <= high; f += 1.0) {
                     const double w = 2.0 * 3.14159265358979 * f / 44100.0;
                     double s1 = 0.0, s2 = 0.0;
                     for (const double x : left) {
                         const double s0 = x + 2.0 * std::cos(w) * s1 - s2;
                         s2 = s1;
                         s1 = s0;
                     }
                     best = std::max(best, s1 * s1 + s2 * s2 - 2.0 * std::cos(w) * s1 * s2);
                 }
                 return 10.0 * std::log10(best);
             };
             const double tone = level(1048, 1050);
             EXPECT_NEAR(level(852, 856) - tone, -4.0, 1.5) << "the partial below";
             EXPECT_NEAR(level(1242, 1246) - tone, -4.0, 1.5) << "the partial above";
             EXPECT_LT(level(190, 200) - tone, -55.0) << "the envelope's rate";
         }},
        {"at about 80 % of the note's level",
         [] {
             // At tempo 120 a tick is 1253 frames: the note sounds for ticks
             // 0-15, the rest from 16 on.
             const std::vector<int16_t> all = Render("4: m400 s8 v15 o4 l4 c r1\n", 44100 * 3);
             const auto rms = [&](int64_t fromTick, int64_t toTick) {
                 double sum = 0.0, mean = 0.0;
                 const int64_t n = (toTick - fromTick) * 1253;
                 for (int64_t i = 0; i < n; ++i) mean += all[2 * (fromTick * 1253 + i)];
                 mean /= static_cast<double>(n);
                 for (int64_t i = 0; i < n; ++i) {
                     const double x = all[2 * (fromTick * 1253 + i)] - mean;
                     sum += x * x;
                 }
                 return std::sqrt(sum / static_cast<double>(n));
             };
             EXPECT_NEAR(rms(20, 60) / rms(2, 14), 0.8, 0.05);
         }},
        {"`4: !p2 !w3 v15 o5 c2 r2` plays the same",
         [] {
             const std::vector<int16_t> noise = Render("4: !p2 !w3 v15 o5 c2 r2\n");
             EXPECT_EQ(noise, Render("4: !p2 !w3 v15 o2 g2 r2\n")) << "no tone: no pitch";
             EXPECT_NE(noise, Render("4: !p3 !w3 v15 o5 c2 r2\n"));
             const std::vector<double> left = Left(noise, 4410);
             EXPECT_GT(std::sqrt(std::inner_product(left.begin(), left.begin() + 4410, left.begin(),
                                                    0.0) /
                                 4410),
                       4000.0)
                 << "the noise sounds at the level of a v15 tone";
         }},
        {"`4: !p0 m40 s8 l1 c` buzzes at 195 Hz",
         [] {
             const std::vector<double> tone = Left(Render("4: v15 l1 c\n"), 4410);
             const std::vector<double> buzz = Left(Render("4: !p0 m40 s8 l1 c\n"), 4410);
             const auto [low, high] = std::minmax_element(buzz.begin(), buzz.end());
             EXPECT_EQ(*high, 0.0) << "one-sided";
             EXPECT_EQ(*low, -*std::max_element(tone.begin(), tone.end())) << "the full level";
             const double mean = std::accumulate(buzz.begin(), buzz.end(), 0.0) / buzz.size();
             EXPECT_NEAR(mean / *low, 0.2, 0.02) << "averaging about a fifth of that depth";
             std::vector<std::size_t> rises;  // upward crossings of the mean
             double power = 0.0;
             for (std::size_t i = 1; i < buzz.size(); ++i) {
                 if (buzz[i - 1] < mean && buzz[i] >= mean) rises.push_back(i);
                 power += (buzz[i] - mean) * (buzz[i] - mean);
             }
             ASSERT_GE(rises.size(), 2u);
             EXPECT_NEAR(44100.0 * (rises.size() - 1) / (rises.back() - rises.front()), 195.0, 0.5);
             const double toneRms = std::sqrt(
                 std::inner_product(tone.begin(), tone.end(), tone.begin(), 0.0) / tone.size());
             EXPECT_NEAR(20.0 * std::log10(std::sqrt(power / buzz.size()) / toneRms), -12.0, 1.0);
             // "A rest silences it": from the tick after the key-off on, nothing.
             const std::vector<int16_t> cut = Render("4: !p0 m40 s8 c2 r2\n");
             EXPECT_TRUE(std::all_of(cut.begin() + 2 * 33 * 1253, cut.end(),
                                     [](int16_t v) { return v == 0; }));
         }},
        {"The noise's spectrum is a flat band from the bottom up to",
         [] {
             for (const int n : {8, 16, 31}) {
                 SCOPED_TRACE("!w" + std::to_string(n));
                 const std::vector<double> x = Left(
                     Render("4: !p2 !w" + std::to_string(n) + " v15 l1 c\n", 44100 + 4410), 4410);
                 const double zero = 124800.0 / n, edge = 55000.0 / n;
                 const double flat = BandLevel(x, 0.08 * zero, 0.12 * zero);
                 EXPECT_NEAR(BandLevel(x, 0.95 * edge, 1.05 * edge) - flat, -3.0, 1.5);
                 EXPECT_LT(BandLevel(x, 0.96 * zero, 1.04 * zero) - flat, -15.0);
             }
         }},
        {"`-1` is stored as 255 and plays at full volume",
         [] {
             EXPECT_EQ(Writes("ssgenv:@0,1,15,-1\n4: @0 v15 c1\n", 8, 44100).back(), 15u);
             EXPECT_EQ(Writes("ssgenv:@0,1,15,0\n4: @0 v15 c1\n", 8, 44100).back(), 0u);
         }},
    };
    for (const Statement& statement : statements) {
        SCOPED_TRACE(statement.quote);
        EXPECT_NE(mml.find(statement.quote), std::string::npos) << "no longer in docs/mml.md";
        statement.check();
    }
}

}  // namespace
