// Render length: loop detection on a scripted sequencer, the plan built from
// it, the fade, and the renderer that applies both.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <optional>
#include <vector>

#include "engine/LoopDetector.h"
#include "playback/RenderPlan.h"
#include "playback/Renderer.h"

using namespace playback;

using engine::LoopDetector;
using engine::LoopReport;
using engine::TickSource;

namespace {

// A part that plays an intro of `intro` ticks, then loops every `loop`
// ticks. Pass k (1-based) ends at intro + k * loop, but the sequencer sees the
// loop close `lookAhead` ticks before that (when the last note starts).
struct ScriptedPart {
    bool used = false;
    int64_t intro = 0;
    int64_t loop = 64;
    int64_t lookAhead = 0;
    std::optional<int64_t> stopAt;  // the tick during which the part stops
};

class ScriptedSequencer : public TickSource {
  public:
    std::array<ScriptedPart, 6> parts;

    void Tick() override { ++ticks_; }
    int64_t TicksRun() const override { return ticks_; }
    bool IsPartUsed(int part) const override { return parts[part].used; }
    bool IsPartActive(int part) const override {
        const auto& p = parts[part];
        return p.used && !(p.stopAt && ticks_ > *p.stopAt);
    }
    int64_t PassesCompleted(int part) const override {
        const auto& p = parts[part];
        // Ticks 0 .. last have run; the part runs no ticks after its stop.
        int64_t last = ticks_ - 1;
        if (p.stopAt) last = std::min(last, *p.stopAt);
        const int64_t firstClose = p.intro + p.loop - p.lookAhead;
        if (!p.used || last < firstClose) return 0;
        return (last - firstClose) / p.loop + 1;
    }
    int64_t LastPassEndTick(int part) const override {
        const auto& p = parts[part];
        return p.intro + PassesCompleted(part) * p.loop;
    }

  private:
    int64_t ticks_ = 0;
};

TEST(LoopDetection, EndsWhenEveryPartHasPlayedItsPasses) {
    ScriptedSequencer seq;
    seq.parts[0] = {true, 0, 64, 0, {}};
    seq.parts[4] = {true, 8, 64, 0, {}};  // an intro of 8 ticks before its loop
    const LoopReport report = LoopDetector::Run(seq, 2, 100000);
    ASSERT_TRUE(report.endTick.has_value());
    EXPECT_EQ(*report.endTick, 136);
    EXPECT_EQ(report.parts[0].passEnds, (std::vector<int64_t>{64, 128}));
    EXPECT_EQ(report.parts[4].passEnds, (std::vector<int64_t>{72, 136}));
    EXPECT_EQ(report.songPassEnds, (std::vector<int64_t>{72, 136}));
    EXPECT_FALSE(report.parts[1].used);
}

TEST(LoopDetection, PassEndsAreWhereTheLastNoteEndsNotWhereTheLoopClosed) {
    ScriptedSequencer seq;
    seq.parts[1] = {true, 0, 48, 16, {}};  // the closing note is 16 ticks long
    const LoopReport report = LoopDetector::Run(seq, 3, 100000);
    ASSERT_TRUE(report.endTick.has_value());
    EXPECT_EQ(*report.endTick, 144);
    EXPECT_EQ(report.parts[1].passEnds, (std::vector<int64_t>{48, 96, 144}));
}

TEST(LoopDetection, AStoppedPartCountsAsFinishedWhenItStops) {
    ScriptedSequencer seq;
    seq.parts[0] = {true, 0, 32, 0, {}};
    seq.parts[3] = {true, 0, 1000, 0, 10};  // stops in tick 10, before any pass
    const LoopReport report = LoopDetector::Run(seq, 2, 100000);
    ASSERT_TRUE(report.endTick.has_value());
    EXPECT_EQ(*report.endTick, 64);
    EXPECT_EQ(report.parts[3].stopped, std::optional<int64_t>(10));
    EXPECT_TRUE(report.parts[3].passEnds.empty());

    // A part that stops late sets the end.
    seq = ScriptedSequencer{};
    seq.parts[0] = {true, 0, 32, 0, {}};
    seq.parts[3] = {true, 0, 1000, 0, 200};
    EXPECT_EQ(LoopDetector::Run(seq, 2, 100000).endTick, std::optional<int64_t>(200));
}

TEST(LoopDetection, SongsInWhichNothingAdvancesEndAtTickZero) {
    ScriptedSequencer empty;
    const LoopReport none = LoopDetector::Run(empty, 2, 100000);
    EXPECT_EQ(none.endTick, std::optional<int64_t>(0));
    EXPECT_TRUE(none.songPassEnds.empty());
    EXPECT_EQ(empty.TicksRun(), 0);

    ScriptedSequencer settingsOnly;
    settingsOnly.parts[2] = {true, 0, 64, 0, 0};  // stops in its first tick
    settingsOnly.parts[5] = {true, 0, 64, 0, 0};
    const LoopReport stopped = LoopDetector::Run(settingsOnly, 2, 100000);
    EXPECT_EQ(stopped.endTick, std::optional<int64_t>(0));
    EXPECT_TRUE(stopped.songPassEnds.empty());
}

TEST(LoopDetection, GivesUpAtTheTickLimit) {
    ScriptedSequencer seq;
    seq.parts[0] = {true, 0, 64, 0, {}};
    const LoopReport report = LoopDetector::Run(seq, 2, 100);
    EXPECT_FALSE(report.endTick.has_value());
    EXPECT_EQ(seq.TicksRun(), 100);
    EXPECT_EQ(report.parts[0].passEnds, (std::vector<int64_t>{64}));
    EXPECT_EQ(report.songPassEnds, (std::vector<int64_t>{64}));
}

TEST(RenderPlanLength, FixedAndLoopBased) {
    const RenderPlan faded = RenderPlan::Fixed(1000, 300);
    EXPECT_EQ(faded.totalFrames, 1000);
    EXPECT_EQ(faded.fadeStart, 700);
    EXPECT_EQ(RenderPlan::Fixed(100, 300).fadeFrames, 100) << "a fade longer than the render";

    const RenderPlan loops = RenderPlan::AfterLoops(5000, 1000, 10000);
    EXPECT_EQ(loops.totalFrames, 6000);
    EXPECT_EQ(loops.fadeStart, 5000);
    EXPECT_FALSE(loops.cut);
    EXPECT_FALSE(RenderPlan::AfterLoops(9000, 1000, 10000).cut) << "ends exactly at the limit";

    const RenderPlan cut = RenderPlan::AfterLoops(9500, 1000, 10000);
    EXPECT_TRUE(cut.cut);
    EXPECT_EQ(cut.totalFrames, 10000);
    EXPECT_EQ(cut.fadeStart, 9000);

    EXPECT_EQ(SecondsToFrames(0.5, 44101), 22051);  // 22050.5 rounds up
}

// Interleaved stereo frames holding `value` on both sides.
std::vector<int16_t> Constant(int frames, int16_t value) {
    return std::vector<int16_t>(static_cast<std::size_t>(frames) * 2, value);
}

TEST(RenderPlanFade, IsLinearFromFullLevelDownToOneStep) {
    const RenderPlan plan = RenderPlan::Fixed(1000, 400);  // fade over frames 600..999
    std::vector<int16_t> frames = Constant(1000, -20000);
    plan.ApplyFade(frames.data(), 1000, 0);
    EXPECT_EQ(frames[2 * 599], -20000);
    EXPECT_EQ(frames[2 * 600], -20000);  // 400 / 400
    EXPECT_EQ(frames[2 * 800 + 1], -10000);
    EXPECT_EQ(frames[2 * 999], -50);  // 1 / 400
    for (int f = 601; f < 1000; ++f) {
        EXPECT_GT(frames[2 * f], frames[2 * (f - 1)]) << f;
        EXPECT_EQ(frames[2 * f], frames[2 * f + 1]) << f;
    }
}

TEST(RenderPlanFade, DoesNotDependOnHowTheRenderIsCut) {
    const RenderPlan plan = RenderPlan::AfterLoops(3000, 2500, 100000);
    std::vector<int16_t> whole = Constant(5500, 12345);
    plan.ApplyFade(whole.data(), 5500, 0);
    std::vector<int16_t> pieces = Constant(5500, 12345);
    for (int first = 0; first < 5500; first += 333) {
        const int count = std::min(333, 5500 - first);
        plan.ApplyFade(pieces.data() + 2 * first, count, first);
    }
    EXPECT_EQ(whole, pieces);
}

// Full scale on the left every 7th frame and on the right every 11th, one
// step short of it every 5th.
class CountingSource : public FrameSource {
  public:
    int64_t framesAsked = 0;
    void Render(int16_t* frames, int32_t count) override {
        for (int32_t i = 0; i < count; ++i, ++framesAsked) {
            const bool near = framesAsked % 5 == 0;
            frames[2 * i] = framesAsked % 7 == 0 ? 32767 : near ? -32767 : 1000;
            frames[2 * i + 1] = framesAsked % 11 == 0 ? -32768 : near ? 32766 : 1000;
        }
    }
    int64_t Frame() const override { return framesAsked; }
    uint32_t Rate() const override { return 44100; }
};

TEST(RendererBlocks, StopExactlyAtThePlannedLengthAndCountFullScaleSamples) {
    CountingSource source;
    const RenderPlan plan = RenderPlan::Fixed(10011, 0);
    Renderer renderer(source, plan);
    std::vector<int16_t> block(4096 * 2);
    std::vector<int32_t> counts;
    while (!renderer.Finished()) counts.push_back(renderer.Fill(block.data(), 4096));
    EXPECT_EQ(counts, (std::vector<int32_t>{4096, 4096, 1819}));
    EXPECT_EQ(renderer.Fill(block.data(), 4096), 0);
    EXPECT_EQ(source.framesAsked, 10011);
    EXPECT_EQ(renderer.FramesDone(), 10011);
    int64_t fullScale = 0;
    for (int64_t f = 0; f < 10011; ++f) fullScale += (f % 7 == 0) + (f % 11 == 0);
    EXPECT_EQ(renderer.FullScaleSamples(), fullScale);
}

}  // namespace
