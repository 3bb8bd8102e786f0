#include "PlayThrough.h"

#include <chrono>
#include <cstdio>
#include <thread>

#include "CliError.h"
#include "Progress.h"
#include "live/Interrupt.h"
#include "output/SdlPlayback.h"
#include "platform/Terminal.h"

namespace cli {

int PlayThroughSoundCard(Renderer& renderer, const MixOptions& mix, int64_t start,
                         const std::vector<int64_t>& passEndFrames) {
    SdlPlayback playback(mix.rate, [&renderer](int16_t* frames, int32_t count) {
        SdlPlayback::Chunk chunk;
        chunk.frames = renderer.Fill(frames, count);
        chunk.last = renderer.Finished();
        return chunk;
    });
    const RenderPlan& plan = renderer.Plan();
    Progress progress(platform::StandardErrorIsTerminal(), stderr, mix.rate, plan.totalFrames,
                      passEndFrames, mix.seconds ? 0 : mix.loops, plan.fadeStart);
    if (!renderer.Finished()) {
        playback.Start();
        while (!playback.Done() && !Interrupted()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            progress.Update(start + playback.FramesDelivered());
        }
    }
    playback.Stop();
    progress.Finish(start + playback.FramesDelivered());
    return Interrupted() ? InterruptedStatus() : kExitOk;
}

}  // namespace cli
