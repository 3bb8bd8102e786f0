#pragma once
// Where render and play send a render, for a song and for a register log
// alike: the renderer's frames from where it stands to the end of its plan,
// with the progress line, until the end or a terminating signal; into files
// (render) or through the sound card (play).

#include <cstdint>
#include <vector>

#include "output/AudioSink.h"
#include "playback/RenderTiming.h"
#include "playback/Renderer.h"

namespace cli {

// Plays `renderer` (standing at frame `start` of the plan of `timing`) at
// `rate` and returns the exit status: 0 at the end, 128+N when signal N
// stopped it.
int PlayThroughSoundCard(playback::Renderer& renderer, uint32_t rate,
                         const playback::Timing& timing, int64_t start);

// Writes `renderers` (a mix and its stems, standing at the same frame) into
// `sinks`, one each, and finishes the files, the mix last. A terminating
// signal stops it with StoppedWritingNothing() thrown and no file made.
void RenderIntoFiles(const std::vector<playback::Renderer*>& renderers,
                     const std::vector<AudioSink*>& sinks, uint32_t rate,
                     const playback::Timing& timing);

}  // namespace cli
