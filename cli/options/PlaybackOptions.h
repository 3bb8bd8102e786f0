#pragma once
// The mix options as the playback layer takes them: the length of a render
// or playback, and where its output begins; and the command line's words for
// a plan cut at --max-seconds.

#include <cstdio>
#include <memory>
#include <string>

#include "live/Interrupt.h"
#include "options/Options.h"
#include "playback/Position.h"
#include "playback/RenderTiming.h"
#include "playback/StartPosition.h"
#include "playback/TickMap.h"

namespace cli {

inline playback::Length LengthOf(const MixOptions& mix) {
    playback::Length length;
    length.rate = mix.rate;
    length.loops = mix.loops;
    length.seconds = mix.seconds;
    length.fadeSeconds = mix.fadeSeconds;
    length.maxSeconds = mix.maxSeconds;
    return length;
}

inline playback::Start StartOf(const MixOptions& mix) {
    return {mix.startSeconds, mix.startTick};
}

// --bars as frames of the piece: the first bar's first frame and the frame
// after the last bar, where the song's tempo map puts them. A signal stops
// the look ahead: `stop` throws (StopIfInterrupted for a file,
// StopPlayingIfInterrupted for the sound card).
inline playback::FrameRange FramesOfBars(const MixOptions::Bars& bars,
                                         const std::shared_ptr<const song::Song>& song,
                                         uint32_t rate, void (*stop)()) {
    return playback::FramesOfBars(song, rate, bars.first, bars.last, stop);
}

// The warning for a plan cut at --max-seconds.
inline std::string CutWarning(const std::string& file, const MixOptions& mix) {
    char limit[32];
    std::snprintf(limit, sizeof limit, "%g", mix.maxSeconds);
    return "'" + file + "' plays longer than " + limit + " s with --loops " +
           std::to_string(mix.loops) + "; cut there (see --max-seconds)";
}

}  // namespace cli
