#include "playback/TickMap.h"

#include <algorithm>
#include <limits>

#include "engine/Engine.h"
#include "playback/Position.h"

namespace playback {

namespace {

// Ticks between two polls of the caller.
constexpr int64_t kTicksPerPoll = 4096;

bool AnyPartActive(const engine::Engine& engine) {
    for (int part = 0; part < song::kPartCount; ++part) {
        if (engine.Part(part).active) return true;
    }
    return false;
}

}  // namespace

TickMap::TickMap(int32_t framesPerTick, int32_t tempo)
    : steps_{Step{0, 0, std::max(framesPerTick, 1), tempo}} {}

TickMap TickMap::OfSong(const std::shared_ptr<const song::Song>& song, uint32_t rate,
                        int64_t maxFrames, int64_t maxTicks, const std::function<void()>& poll) {
    if (!song) return TickMap();
    if (!song->ChangesTempo()) {
        return TickMap(engine::Engine::TickLength(song->GetTempo(), rate), song->GetTempo());
    }
    engine::Engine ahead(song, rate);
    TickMap map(ahead.FramesPerTick(), ahead.Tempo().tempo);
    if (!ahead.Ready()) return map;
    map.steps_.clear();
    int64_t frame = 0;
    while (frame <= maxFrames && ahead.Tick() <= maxTicks) {
        const int64_t tick = ahead.Tick();
        if (poll && tick % kTicksPerPoll == 0) poll();
        ahead.SkipTick();
        const int32_t length = ahead.FramesPerTick();
        const int32_t tempo = ahead.Tempo().tempo;
        if (map.steps_.empty() || map.steps_.back().framesPerTick != length ||
            map.steps_.back().tempo != tempo) {
            map.steps_.push_back({tick, frame, length, tempo});
        }
        frame += length;
        // Once every part has stopped, no tempo changes again.
        if (!AnyPartActive(ahead)) break;
    }
    return map;
}

const TickMap::Step& TickMap::StepOfTick(int64_t tick) const {
    const auto after = std::upper_bound(steps_.begin() + 1, steps_.end(), tick,
                                        [](int64_t t, const Step& s) { return t < s.tick; });
    return *(after - 1);
}

const TickMap::Step& TickMap::StepOfFrame(int64_t frame) const {
    const auto after = std::upper_bound(steps_.begin() + 1, steps_.end(), frame,
                                        [](int64_t f, const Step& s) { return f < s.frame; });
    return *(after - 1);
}

int64_t TickMap::FrameOfTick(int64_t tick) const {
    if (tick <= 0) return 0;
    const Step& step = StepOfTick(tick);
    const int64_t ticks = tick - step.tick;
    // Saturates rather than overflows for a tick far past any piece's end.
    if (ticks > (std::numeric_limits<int64_t>::max() - step.frame) / step.framesPerTick)
        return std::numeric_limits<int64_t>::max();
    return step.frame + ticks * step.framesPerTick;
}

int64_t TickMap::TickOfFrame(int64_t frame) const {
    if (frame <= 0) return 0;
    const Step& step = StepOfFrame(frame);
    return step.tick + (frame - step.frame) / step.framesPerTick;
}

int32_t TickMap::FramesPerTickAt(int64_t tick) const {
    return StepOfTick(tick).framesPerTick;
}

int32_t TickMap::TempoAt(int64_t tick) const {
    return StepOfTick(tick).tempo;
}

FrameRange FramesOfBars(const std::shared_ptr<const song::Song>& song, uint32_t rate,
                        int64_t firstBar, int64_t lastBar, const std::function<void()>& poll) {
    const int64_t endTick = TickOfBar(lastBar + 1);
    const TickMap ticks =
        TickMap::OfSong(song, rate, std::numeric_limits<int64_t>::max(), endTick, poll);
    return {ticks.FrameOfTick(TickOfBar(firstBar)), ticks.FrameOfTick(endTick)};
}

}  // namespace playback
