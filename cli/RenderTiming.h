#pragma once
// How long a render or a playback is: a fixed length (--seconds), or the
// song's loops (--loops) as found by an engine of its own run ahead, so the
// engine that renders starts fresh, exactly as the plug-in's would.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "RenderPlan.h"
#include "options/Options.h"
#include "song/Song.h"

namespace cli {

struct RenderTiming {
    RenderPlan plan;                     // plan.cut: the loops ran past --max-seconds
    std::vector<int64_t> passEndFrames;  // where the song's passes end (none for --seconds)
};

// `poll`, when set, is called every few milliseconds of the loop search; it
// may throw to stop it.
RenderTiming PlanTiming(const std::shared_ptr<const song::Song>& song, const MixOptions& mix,
                        const std::function<void()>& poll = {});

// The warning for a plan cut at --max-seconds.
std::string CutWarning(const std::string& file, const MixOptions& mix);

}  // namespace cli
