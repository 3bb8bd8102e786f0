#include "PlayThrough.h"

#include <chrono>
#include <cstdio>
#include <thread>

#include "CliError.h"
#include "Interrupt.h"
#include "Progress.h"
#include "SdlPlayback.h"

namespace cli {

int PlayThroughSoundCard(playback::Renderer& renderer, uint32_t rate,
                         const playback::Timing& timing, int64_t start) {
    SdlPlayback playback(rate, [&renderer](int16_t* frames, int32_t count) {
        SdlPlayback::Chunk chunk;
        chunk.frames = renderer.Fill(frames, count);
        chunk.last = renderer.Finished();
        return chunk;
    });
    Progress progress = Progress::OnStandardError(rate, timing);
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
