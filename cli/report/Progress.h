#pragma once
// The one-line progress display on standard error: time rendered or played
// against the total, and which loop pass is sounding. Shown only when
// standard error is a terminal; otherwise nothing is written at all.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "playback/RenderTiming.h"

namespace cli {

class Progress {
  public:
    // passEndFrames: frames at which the song's passes end (may be empty,
    // as for --seconds); passes: how many of them the render plays before
    // its fade; fadeStart: first frame of the fade.
    Progress(bool enabled, std::FILE* stream, uint32_t rate, int64_t totalFrames,
             std::vector<int64_t> passEndFrames, int32_t passes, int64_t fadeStart);

    // The line of a render or playback timed by `timing` at `rate`, on
    // standard error when that is a terminal.
    static Progress OnStandardError(uint32_t rate, const playback::Timing& timing);

    // Redraws the line for `framesDone`, at most about ten times a second.
    void Update(int64_t framesDone);
    // Draws the final state and ends the line.
    void Finish(int64_t framesDone);

    // The text of the line (without carriage return) for a position.
    std::string Line(int64_t framesDone) const;

  private:
    void Draw(int64_t framesDone);

    bool enabled_;
    std::FILE* stream_;
    uint32_t rate_;
    int64_t totalFrames_;
    std::vector<int64_t> passEndFrames_;
    int32_t passes_;
    int64_t fadeStart_;
    std::chrono::steady_clock::time_point lastDraw_{};
    std::size_t lastLength_ = 0;
};

// "m:ss.s" for a frame count at a rate.
std::string FormatDuration(int64_t frames, uint32_t rate);

}  // namespace cli
