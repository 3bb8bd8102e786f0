#include "output/PlayThrough.h"

#include <chrono>
#include <cstdio>
#include <thread>

#include "CliError.h"
#include "report/Progress.h"
#include "live/Interrupt.h"
#include "output/SdlPlayback.h"

namespace cli {

void RenderIntoFiles(const std::vector<playback::Renderer*>& renderers,
                     const std::vector<AudioSink*>& sinks, uint32_t rate,
                     const playback::Timing& timing) {
    Progress progress = Progress::OnStandardError(rate, timing);
    const bool whole = playback::RenderThrough(
        renderers,
        [&sinks](std::size_t i, const int16_t* frames, int32_t count) {
            sinks[i]->Write(frames, count);
        },
        [&progress](int64_t done) { progress.Update(done); }, Interrupted);
    if (!whole) {
        progress.Finish(renderers[0]->FramesDone());
        throw StoppedWritingNothing();
    }
    // A signal during the last block: nothing is made visible.
    StopIfInterrupted();
    // The mix last: should a stem fail, no complete-looking mix is left either.
    for (auto sink = sinks.rbegin(); sink != sinks.rend(); ++sink) (*sink)->Finish();
    progress.Finish(renderers[0]->FramesDone());
}

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
