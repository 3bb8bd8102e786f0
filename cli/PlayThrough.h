#pragma once
// Playing a render through the sound card, as play does for a song and for a
// register log: the renderer's frames from where it stands to the end of its
// plan, with the progress line, until the end or a terminating signal.

#include <cstdint>
#include <vector>

#include "playback/RenderTiming.h"
#include "playback/Renderer.h"

namespace cli {

// Plays `renderer` (standing at frame `start` of the plan of `timing`) at
// `rate` and returns the exit status: 0 at the end, 128+N when signal N
// stopped it.
int PlayThroughSoundCard(playback::Renderer& renderer, uint32_t rate,
                         const playback::Timing& timing, int64_t start);

}  // namespace cli
