// The engine as every front end sees it: the plug-in's bytes, the register
// writes with their frames, volumes that stay each engine's own, and a seek
// that lands exactly where a render from the start would be.

#include "engine/Engine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine/LoopDetector.h"
#include "mml/Compile.h"
#include "plugin/EntryPoints.h"

namespace {

using engine::Engine;

const std::string kDemo = std::string(VELNARI_SOURCE_DIR) + "/examples/demo.mml";

std::shared_ptr<const song::Song> Compile(const std::string& text) {
    Tarsel::CompileResult compiled = Tarsel::Compile(text, "test.mml");
    EXPECT_FALSE(compiled.fault) << compiled.fault->message;
    return compiled.song;
}

// `frames` frames in requests of varying sizes.
std::vector<int16_t> Render(Engine& engine, int32_t frames) {
    std::vector<int16_t> out(static_cast<std::size_t>(frames) * 2);
    const int32_t sizes[] = {1, 700, 4096, 333, 1024};
    for (int32_t done = 0, i = 0; done < frames; ++i) {
        const int32_t n = std::min(sizes[i % 5], frames - done);
        engine.Render(out.data() + std::size_t{2} * done, n);
        done += n;
    }
    return out;
}

TEST(Engine, RendersWhatThePlugInRendersForTheSameFileAndRate) {
    constexpr int32_t kFrames = 48000 * 3;
    SoundInfo info{};
    info.samplesPerSec = 48000;
    PluginHandle handle = plugin::Open(kDemo.c_str(), &info);
    ASSERT_NE(handle, nullptr);
    std::vector<int16_t> hosted(std::size_t{2} * kFrames);
    ASSERT_EQ(plugin::Render(handle, reinterpret_cast<uint8_t*>(hosted.data()), 4 * kFrames),
              4u * kFrames);
    plugin::Close(handle);

    Engine engine(Tarsel::CompileFile(kDemo).song, 48000);
    EXPECT_EQ(Render(engine, kFrames), hosted);
    EXPECT_EQ(engine.Frame(), kFrames);
}

struct Write {
    int64_t frame;
    uint32_t address, data;
};

struct WriteLog : engine::RegisterWriteObserver {
    void OnRegisterWrite(int64_t frame, uint32_t address, uint32_t data) override {
        writes.push_back({frame, address, data});
    }
    std::vector<Write> writes;
};

TEST(Engine, TheObserverSeesEveryWriteAtTheFrameItActs) {
    // The notes start at ticks 0, 16 and 48, and again at 64.
    Engine engine(Compile("1: t120 @0 c4 d2 e4\n4: v12 c2 r4 c4\n"), 44100);
    WriteLog log;
    engine.SetRegisterWriteObserver(&log);
    engine.SeekToFrame(0);  // a fresh start, its writes included
    Render(engine, 44100 * 2);
    ASSERT_FALSE(log.writes.empty());
    EXPECT_EQ(log.writes.front().frame, 0);
    std::vector<int64_t> fmKeyOns, ssgKeyOns;
    for (std::size_t i = 0; i < log.writes.size(); ++i) {
        const Write& w = log.writes[i];
        if (i > 0) {
            EXPECT_GE(w.frame, log.writes[i - 1].frame);
        }
        EXPECT_EQ(w.frame % engine.FramesPerTick(), 0) << "writes happen at tick boundaries";
        if (w.address == 0x28 && w.data == 0xF0) fmKeyOns.push_back(w.frame);
        // Mixer with channel A's tone enabled (bit 0 clear): the SSG part keyed on.
        if (w.address == 0x07 && (w.data & 1) == 0) ssgKeyOns.push_back(w.frame);
    }
    const int64_t tick = engine.FramesPerTick();
    EXPECT_EQ(fmKeyOns, (std::vector<int64_t>{0, 16 * tick, 48 * tick, 64 * tick}));
    ASSERT_GE(ssgKeyOns.size(), 2u);
    EXPECT_EQ(ssgKeyOns[0], 0);
    EXPECT_EQ(ssgKeyOns[1], 48 * tick);
}

TEST(Engine, EachEngineKeepsItsOwnSsgVolume) {
    const auto song = Compile("4: t120 v15 o5 a1 r1\n");
    constexpr int32_t kSecond = 44100;
    Engine alone(song, kSecond, {0, -40});
    const std::vector<int16_t> expected = Render(alone, 2 * kSecond);

    Engine quiet(song, kSecond, {0, -40});
    std::vector<int16_t> got = Render(quiet, kSecond);
    Engine loud(song, kSecond, {0, 0});  // a chip built and set up at 0 dB
    const std::vector<int16_t> loudOut = Render(loud, kSecond);
    const std::vector<int16_t> rest = Render(quiet, kSecond);
    got.insert(got.end(), rest.begin(), rest.end());
    EXPECT_EQ(got, expected);
    EXPECT_NE(std::vector<int16_t>(expected.begin(), expected.begin() + 2 * kSecond), loudOut);
}

TEST(LoopSearch, APartThatStopsHasFinishedEveryLaterPassWhereItsLastNoteEnds) {
    // The last c's look-ahead finds the empty loop at tick 48; the c ends at 64.
    const auto song = Compile("1: o4 l4 c e g >c { }\n4: o5 l4 r8 c4 d8 $x$\nstr:x = $x$\n");
    for (int32_t passes : {1, 2, 3}) {
        Engine ahead(song, 44100);
        const engine::LoopReport report = engine::LoopDetector::Run(ahead, passes, 10000);
        EXPECT_EQ(report.endTick, 64) << passes;
        EXPECT_EQ(report.songPassEnds, std::vector<int64_t>{64}) << passes;
        EXPECT_EQ(report.parts[3].stopped, 32) << passes;
    }
}

TEST(LoopSearch, APartThatNestsDeeperEveryPassStopsAndHasNoLoop) {
    // Each pass leaves macro "end" by its "}" twice without returning: 2 more
    // calls pending per pass of 64 ticks, until the third call of pass 128
    // finds 256 pending, after its d8, 40 ticks into that pass.
    const auto song = Compile("str:end = c8 }\n1: @1 {3 d8 $end$ e4\n2: c4\n");
    Engine ahead(song, 44100);
    const engine::LoopReport report = engine::LoopDetector::Run(ahead, 2, 100000);
    EXPECT_TRUE(report.parts[0].passEnds.empty());
    EXPECT_EQ(report.parts[0].stopped, 127 * 64 + 40);
    EXPECT_EQ(report.endTick, 127 * 64 + 40);
}

// A seek (the soundless run-ahead) and a restored snapshot both land on the
// frames of a render from the start: forward, back, into the loops, at
// rates that cut the ticks and spans differently, on a song whose every
// envelope keeps moving (SSG noise and hardware envelope, FM feedback).
TEST(Engine, SeekingAndRestoringLandOnTheFramesOfARenderFromTheStart) {
    // Each part keeps one kind of state in motion through a seek that ends
    // on a tick boundary: a chain of four operators without feedback (only
    // the outputs of the last samples before it count), a long note on a
    // carrier at feedback 7 (its whole history counts), a repeating
    // alternating hardware envelope and noise.
    const std::string chain =
        "sound:@1\nlfo:0,0,0,0,0\nop1:31,9,3,7,2,20,0,3,0,0\n"
        "op2:31,8,3,7,2,25,0,2,3,0\nop3:31,7,3,7,2,30,0,1,0,0\n"
        "op4:31,5,5,7,3,0,0,1,0,0\n"
        "sound:@2\nlfo:0,0,0,7,7\nop1:31,0,0,7,0,0,0,1,0,0\nop2:31,0,0,7,0,127,0,1,0,0\n"
        "op3:31,0,0,7,0,127,0,1,0,0\nop4:31,0,0,7,0,127,0,1,0,0\n"
        "1: t120 @1 l16 o3 c e g > c <\n2: @2 o5 l1 c d\n4: m37 s10 o4 l1 c\n"
        "5: !p3 !w7 v12 o6 l1 e\n";
    struct Case {
        std::string file;  // or the song itself
        uint32_t rate;
        std::vector<double> seconds;  // in the order the seeks go
    };
    const std::string busy = std::string(VELNARI_SOURCE_DIR) + "/bench/busy.mml";
    const Case cases[] = {
        {kDemo, 22050, {0, 0.00005, 3.0008}},
        {kDemo, 8000, {41.3, 2.5}},
        {kDemo, 44100, {95.25, 12.1}},  // past the demo's loop point
        {kDemo, 55466, {7.77, 7.7}},
        {kDemo, 192000, {3.3, 1.01}},
        {busy, 44100, {9.6, 0.4, 21.01}},
        {busy, 96000, {5.55, 5.0}},
        {chain, 48000, {70 * 1364 / 48000.0, 0.625, 0.5}},  // tick 70: a seek ends with whole spans
    };
    for (const Case& c : cases) {
        const auto song =
            c.file.starts_with("sound:") ? Compile(c.file) : Tarsel::CompileFile(c.file).song;
        constexpr int32_t kHeard = 3000;
        const double last = *std::max_element(c.seconds.begin(), c.seconds.end());
        Engine reference(song, c.rate);
        const std::vector<int16_t> whole =
            Render(reference, static_cast<int32_t>(std::llround(last * c.rate)) + kHeard);
        Engine seeking(song, c.rate), restored(song, c.rate);
        Render(seeking, 5000);  // wherever it was before
        for (const double at : c.seconds) {
            const int64_t start = std::llround(at * c.rate);
            seeking.SeekToFrame(start);
            EXPECT_EQ(seeking.Frame(), start);
            const auto snapshot = seeking.Save();
            ASSERT_NE(snapshot, nullptr);
            Render(restored, 777);  // anywhere else
            ASSERT_TRUE(restored.Restore(*snapshot));
            for (Engine* engine : {&seeking, &restored}) {
                const std::vector<int16_t> tail = Render(*engine, kHeard);
                EXPECT_TRUE(std::equal(tail.begin(), tail.end(), whole.begin() + 2 * start))
                    << c.file << " at " << c.rate << " Hz from " << at << " s"
                    << (engine == &restored ? ", restored" : "");
            }
        }
    }
}

}  // namespace

// A voice of four sine carriers (one pure tone) for the measurements below.
const char* const kSineVoice =
    "sound:@1\nlfo:0,0,0,7,0\n"
    "op1:31,0,0,7,0,40,0,1,0,0\nop2:31,0,0,7,0,40,0,1,0,0\n"
    "op3:31,0,0,7,0,40,0,1,0,0\nop4:31,0,0,7,0,40,0,1,0,0\n";

// The left channel of 0.25 s to 1.25 s of a render at 44100 Hz.
std::vector<double> Steady(const std::string& text) {
    Engine engine(Compile(text + kSineVoice), 44100);
    const std::vector<int16_t> out = Render(engine, 55125);
    std::vector<double> left;
    for (std::size_t i = 2 * 11025; i < out.size(); i += 2) left.push_back(out[i]);
    return left;
}

// The pitch from the first to the last rising crossing of the mean, each
// placed between its two samples.
double Hertz(const std::vector<double>& s) {
    double mean = 0;
    for (double v : s) mean += v / static_cast<double>(s.size());
    double first = -1, last = -1;
    int crossings = 0;
    for (std::size_t i = 1; i < s.size(); ++i) {
        if (s[i - 1] < mean && s[i] >= mean) {
            last = static_cast<double>(i - 1) + (mean - s[i - 1]) / (s[i] - s[i - 1]);
            if (crossings++ == 0) first = last;
        }
    }
    return crossings < 2 ? 0.0 : (crossings - 1) * 44100.0 / (last - first);
}

double Decibels(const std::vector<double>& s, const std::vector<double>& reference) {
    const auto power = [](const std::vector<double>& x) {
        double sum = 0;
        for (double v : x) sum += v * v;
        return sum;
    };
    return 10 * std::log10(power(s) / power(reference));
}

TEST(Engine, TheLanguageExtensionsMeasureInARender) {
    struct Case {
        const char* what;
        std::string song;
        std::string reference;  // for dB: the song the level is compared with
        double expected, tolerance;
    };
    // Loop breaks: ticks of the part's first pass, from the loop search.
    for (const Case& c : {
             Case{"a loop break", "1: @1 l8 {3 c d : e}\n", "", 64, 0},  // c d e c d e c d
             Case{"one in a macro", "str:m = d :\n1: @1 l8 {3 c $m$ e}\n", "", 64, 0},
             Case{"inner loop left", "1: @1 l8 {2 c {3 d : e} f}\n", "", 14 * 8, 0},
         }) {
        Engine ahead(Compile(c.song + kSineVoice), 44100);
        const engine::LoopReport report = engine::LoopDetector::Run(ahead, 1, 10000);
        ASSERT_FALSE(report.parts[0].passEnds.empty()) << c.what;
        EXPECT_EQ(report.parts[0].passEnds[0], c.expected) << c.what;
    }
    // Transpositions: the pitch in Hz of a held note, FM and SSG.
    for (const Case& c : {
             Case{"FM, o4 a up 3", "1: @1 o4 _3 a1 a1\n", "", 523.25, 0.003},
             Case{"FM, down 14 then up 2", "1: @1 o5 _-14 __2 a1 a1\n", "", 440, 0.003},
             Case{"SSG, o4 a down an octave", "4: o4 _-12 a1 a1\n", "", 220, 0.003},
             Case{"SSG, up 26", "4: o3 _26 c1 c1\n", "", 587.33, 0.003},
         }) {
        EXPECT_NEAR(Hertz(Steady(c.song)), c.expected, c.expected * c.tolerance) << c.what;
    }
    // Relative volume: the level against the reference in dB (3 dB a step).
    for (const Case& c : {
             Case{"FM, 3 down", "1: @1 v15 (3 c1 c1\n", "1: @1 v15 c1 c1\n", -9, 0.3},
             Case{"FM, 1 down, 2 up", "1: @1 v9 ( )2 c1 c1\n", "1: @1 v9 c1 c1\n", 3, 0.3},
             Case{"SSG, 4 down", "4: v14 (4 c1 c1\n", "4: v14 c1 c1\n", -12, 0.6},
             Case{"SSG, up beyond 15", "4: v13 )9 c1 c1\n", "4: v13 c1 c1\n", 6, 0.6},
         }) {
        EXPECT_NEAR(Decibels(Steady(c.song), Steady(c.reference)), c.expected, c.tolerance)
            << c.what;
    }
}
