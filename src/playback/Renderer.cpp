#include "playback/Renderer.h"

#include <algorithm>
#include <vector>

namespace playback {

int32_t Renderer::Fill(int16_t* frames, int32_t count) {
    const auto n = static_cast<int32_t>(std::min<int64_t>(count, plan_.totalFrames - done_));
    if (n <= 0) return 0;
    source_.Render(frames, n);
    plan_.ApplyFade(frames, n, done_);
    // Sixteen samples a step without a branch, which the compiler turns
    // into a few vector instructions.
    const int32_t samples = 2 * n;
    auto fullScale = [](int16_t x) { return (x == 32767) | (x == -32768); };
    int32_t full = 0, i = 0;
    for (; i + 16 <= samples; i += 16) {
        int32_t part = 0;
        for (int32_t j = 0; j < 16; ++j) part += fullScale(frames[i + j]);
        full += part;
    }
    for (; i < samples; ++i) full += fullScale(frames[i]);
    fullScale_ += full;
    done_ += n;
    return n;
}

bool RenderThrough(const std::vector<Renderer*>& renderers, const BlockWriter& write,
                   const std::function<void(int64_t framesDone)>& progress, const StopAsked& stop) {
    if (renderers.empty()) return true;
    std::vector<int16_t> block(static_cast<std::size_t>(kRenderBlockFrames) * 2);
    while (!renderers[0]->Finished()) {
        if (stop && stop()) return false;
        for (std::size_t i = 0; i < renderers.size(); ++i) {
            const int32_t n = renderers[i]->Fill(block.data(), kRenderBlockFrames);
            write(i, block.data(), n);
        }
        if (progress) progress(renderers[0]->FramesDone());
    }
    return true;
}

}  // namespace playback
