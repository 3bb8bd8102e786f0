// The trail of snapshots a piece leaves as it runs ahead: another engine or
// take of the piece reaches a frame inside it with little work (a budget too
// small for the way from the beginning), forward and back, and plays the
// render's own frames from there; an engine of another piece cannot use it.

#include "playback/Snapshots.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "engine/Engine.h"
#include "mml/Compile.h"
#include "playback/FrameSource.h"
#include "playback/LiveSession.h"

namespace {

constexpr uint32_t kRate = 16000;
constexpr int32_t kHeard = 2000;

TEST(Snapshots, ASeekIntoWhatWasRunThroughStartsFromTheNearestAndPlaysTheRendersFrames) {
    const auto song = Tarsel::CompileFile(VELNARI_SOURCE_DIR "/examples/demo.mml").song;
    ASSERT_TRUE(song);
    const int64_t stretch = std::llround(playback::Snapshots::kSpacingSeconds * kRate);
    engine::Engine reference(song, kRate);
    std::vector<int16_t> render(2 * static_cast<std::size_t>(3 * stretch + kHeard));
    reference.Render(render.data(), static_cast<int32_t>(render.size() / 2));

    auto trail = std::make_shared<playback::Snapshots>(song, kRate, engine::Volumes{}, 0);
    engine::Engine ahead(song, kRate);
    ASSERT_TRUE(playback::Seek(ahead, 3 * stretch, {}, INT64_MAX, trail));
    EXPECT_EQ(trail->Count(), 4u);  // at the start of each stretch run through

    const int64_t budget = stretch / 2;  // far short of the way from the beginning
    auto heardFrom = [&](playback::FrameSource& source, int64_t frame) {
        std::vector<int16_t> heard(2 * kHeard);
        source.Render(heard.data(), kHeard);
        return std::equal(heard.begin(), heard.end(), render.begin() + 2 * frame);
    };
    engine::Engine seeking(song, kRate);
    playback::EngineFrames frames(seeking);
    for (const int64_t frame : {2 * stretch + budget - 1, stretch + 7, 3 * stretch}) {
        ASSERT_TRUE(playback::Seek(seeking, frame, {}, budget, trail)) << frame;
        EXPECT_TRUE(heardFrom(frames, frame)) << frame;
    }
    playback::Take take(song, kRate, {}, 0, playback::RenderPlan::Endless(), trail);
    ASSERT_TRUE(take.RunAheadTo(2 * stretch + 3, {}, budget));
    std::vector<int16_t> filled(2 * kHeard);
    take.Fill(filled.data(), kHeard);
    EXPECT_TRUE(std::equal(filled.begin(), filled.end(), render.begin() + 2 * (2 * stretch + 3)));

    engine::Engine muted(song, kRate, {}, 1);  // another piece: FM 1 muted
    EXPECT_FALSE(playback::Seek(muted, 2 * stretch + 3, {}, budget, trail));
}

}  // namespace
