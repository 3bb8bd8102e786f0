#include "playback/RenderTiming.h"

#include "engine/Engine.h"
#include "engine/LoopDetector.h"

namespace playback {

namespace {

// Thrown through the loop search when the caller asks to stop.
struct SearchStopped {};

}  // namespace

Timing PlanTiming(const Length& length,
                  const std::function<Passes(int64_t maxFrames)>& findPasses) {
    Timing timing;
    if (length.seconds) {
        const int64_t fade =
            length.fadeSeconds ? SecondsToFrames(*length.fadeSeconds, length.rate) : 0;
        timing.plan = RenderPlan::Fixed(
            length.secondsFrom + SecondsToFrames(*length.seconds, length.rate), fade);
        return timing;
    }
    const int64_t fade =
        SecondsToFrames(length.fadeSeconds.value_or(Length::kDefaultFadeSeconds), length.rate);
    Passes passes = findPasses(SecondsToFrames(length.maxSeconds, length.rate));
    const int64_t maxFrames =
        passes.maxFrames.value_or(SecondsToFrames(length.maxSeconds, length.rate));
    timing.passEndFrames = std::move(passes.passEndFrames);
    timing.passes = length.loops;
    if (passes.endFrame) {
        timing.plan = RenderPlan::AfterLoops(*passes.endFrame, fade, maxFrames);
    } else {
        timing.plan = RenderPlan::Fixed(maxFrames, fade);
        timing.plan.cut = true;
    }
    return timing;
}

std::optional<Timing> PlanTiming(const std::shared_ptr<const song::Song>& song,
                                 const Length& length, const StopAsked& stop) {
    try {
        return PlanTiming(length, [&](int64_t maxFrames) {
            engine::Engine ahead(song, length.rate);
            const int64_t perTick = ahead.FramesPerTick();
            const int64_t maxTicks = length.maxTicks.value_or(maxFrames / perTick + 1);
            const std::function<void()> poll = [&stop] {
                if (stop()) throw SearchStopped{};
            };
            const engine::LoopReport loops = engine::LoopDetector::Run(
                ahead, length.loops, maxTicks, stop ? poll : std::function<void()>{});
            Passes passes;
            if (length.maxTicks) passes.maxFrames = *length.maxTicks * perTick;
            for (int64_t tick : loops.songPassEnds) passes.passEndFrames.push_back(tick * perTick);
            if (loops.endTick) passes.endFrame = *loops.endTick * perTick;
            return passes;
        });
    } catch (const SearchStopped&) {
        return std::nullopt;
    }
}

}  // namespace playback
