#pragma once
// Playing a render through the sound card, as play does for a song and for a
// register log: the renderer's frames from where it stands to the end of its
// plan, with the progress line, until the end or a terminating signal.

#include <cstdint>
#include <vector>

#include "Renderer.h"
#include "options/Options.h"

namespace cli {

// Plays `renderer` (standing at frame `start` of its plan) and returns the
// exit status: 0 at the end, 128+N when signal N stopped it. The progress
// line marks the passes that end at `passEndFrames`.
int PlayThroughSoundCard(Renderer& renderer, const MixOptions& mix, int64_t start,
                         const std::vector<int64_t>& passEndFrames);

}  // namespace cli
