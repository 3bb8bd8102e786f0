// The live session with one thread for running ahead and playing (the web
// page's audio thread): what it plays across a new version and a seek is the
// render's own frames, in quanta that never wait for a run-ahead.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "engine/Engine.h"
#include "mml/Compile.h"
#include "playback/LiveSession.h"
#include "playback/RangeLoop.h"

namespace {

using playback::LiveSession;
using playback::RenderPlan;
using playback::Take;

constexpr uint32_t kRate = 22050;
constexpr int32_t kQuantum = 128;

TEST(LiveSessionOneThread, NewVersionsAndSeeksPlayTheRendersFrames) {
    const auto song = Tarsel::CompileFile(VELNARI_SOURCE_DIR "/examples/demo.mml").song;
    ASSERT_TRUE(song);
    auto take = [&] {
        return std::make_unique<Take>(song, kRate, engine::Volumes{}, 0, RenderPlan::Endless());
    };
    engine::Engine reference(song, kRate);
    std::vector<int16_t> render(2 * 4 * kRate);
    reference.Render(render.data(), 4 * kRate);

    LiveSession live(kQuantum, 512);  // a budget small enough to take many quanta
    live.Play(take());
    std::vector<int16_t> heard;
    std::vector<int16_t> quantum(2 * kQuantum);
    auto play = [&](int quanta) {
        for (int i = 0; i < quanta; ++i) {
            live.Fill(quantum.data(), kQuantum);
            heard.insert(heard.end(), quantum.begin(), quantum.end());
        }
    };
    play(100);
    // The same song again, as after an edit that changes no note: it takes
    // over at a later tick and nothing is heard to change.
    live.TakeOverWhenReady(take(), 0);
    ASSERT_TRUE(live.GetStatus().handingOver);
    play(200);
    EXPECT_FALSE(live.GetStatus().handingOver) << "the new version never caught up";
    ASSERT_EQ(heard.size(), 2u * 300 * kQuantum);
    EXPECT_TRUE(std::equal(heard.begin(), heard.end(), render.begin()));

    // A seek back: the old take sounds on while the new one runs ahead, then
    // after one quantum's fade the render's frames from the target on.
    const int64_t target = kRate / 2;
    live.PlayWhenReady(take(), target);
    heard.clear();
    while (live.GetStatus().handingOver) play(1);
    play(20);
    const LiveSession::Status status = live.GetStatus();
    const int64_t first = status.frame - 19 * kQuantum;  // the first frame after the fade
    ASSERT_GE(first, target + kQuantum);
    EXPECT_TRUE(
        std::equal(heard.end() - 2 * 19 * kQuantum, heard.end(), render.begin() + 2 * first));
}

// Bars on repeat: every pass is the render's own frames of the range, from
// its first frame, in quanta that cut the passes anywhere.
TEST(RangeOnRepeat, EveryPassIsTheRendersFrames) {
    const auto song = Tarsel::CompileFile(VELNARI_SOURCE_DIR "/examples/demo.mml").song;
    ASSERT_TRUE(song);
    engine::Engine reference(song, kRate);
    const int64_t first = 64 * reference.FramesPerTick(), end = 160 * reference.FramesPerTick();
    std::vector<int16_t> render(2 * static_cast<std::size_t>(end));
    reference.Render(render.data(), static_cast<int32_t>(end));
    const std::vector<int16_t> pass(render.begin() + 2 * first, render.end());

    playback::RangeLoop loop(song, kRate, {}, 0, first, end);
    std::vector<int16_t> heard(3 * pass.size());
    for (std::size_t at = 0; at < heard.size(); at += 2 * kQuantum) {
        const auto n = std::min<std::size_t>(kQuantum, (heard.size() - at) / 2);
        loop.Fill(heard.data() + at, static_cast<int32_t>(n));
    }
    EXPECT_EQ(loop.Passes(), 2);
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(std::equal(pass.begin(), pass.end(), heard.begin() + i * pass.size()))
            << "pass " << i + 1;
    }
}

}  // namespace
