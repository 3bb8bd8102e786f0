#include "RenderTiming.h"

#include <cstdio>

#include "engine/Engine.h"
#include "engine/LoopDetector.h"

namespace cli {

RenderTiming PlanTiming(const std::shared_ptr<const song::Song>& song, const MixOptions& mix,
                        const std::function<void()>& poll) {
    RenderTiming timing;
    if (mix.seconds) {
        const int64_t fade = mix.fadeSeconds ? SecondsToFrames(*mix.fadeSeconds, mix.rate) : 0;
        timing.plan = RenderPlan::Fixed(SecondsToFrames(*mix.seconds, mix.rate), fade);
        return timing;
    }
    const int64_t fade =
        SecondsToFrames(mix.fadeSeconds.value_or(MixOptions::kDefaultFadeSeconds), mix.rate);
    const int64_t maxFrames = SecondsToFrames(mix.maxSeconds, mix.rate);
    engine::Engine ahead(song, mix.rate);
    const int64_t perTick = ahead.FramesPerTick();
    const int64_t maxTicks = maxFrames / perTick + 1;
    const engine::LoopReport loops = engine::LoopDetector::Run(ahead, mix.loops, maxTicks, poll);
    for (int64_t tick : loops.songPassEnds) timing.passEndFrames.push_back(tick * perTick);
    if (loops.endTick) {
        timing.plan = RenderPlan::AfterLoops(*loops.endTick * perTick, fade, maxFrames);
    } else {
        timing.plan = RenderPlan::Fixed(maxFrames, fade);
        timing.plan.cut = true;
    }
    return timing;
}

std::string CutWarning(const std::string& file, const MixOptions& mix) {
    char limit[32];
    std::snprintf(limit, sizeof limit, "%g", mix.maxSeconds);
    return "'" + file + "' plays longer than " + limit + " s with --loops " +
           std::to_string(mix.loops) + "; cut there (see --max-seconds)";
}

}  // namespace cli
