#include "Renderer.h"

#include <algorithm>

namespace cli {

int32_t Renderer::Fill(int16_t* frames, int32_t count) {
    const auto n = static_cast<int32_t>(std::min<int64_t>(count, plan_.totalFrames - done_));
    if (n <= 0) return 0;
    source_.Render(frames, n);
    plan_.ApplyFade(frames, n, done_);
    for (int32_t i = 0; i < 2 * n; ++i) {
        if (frames[i] == 32767 || frames[i] == -32768) ++fullScale_;
    }
    done_ += n;
    return n;
}

}  // namespace cli
