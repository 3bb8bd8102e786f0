#include "report/Progress.h"

#include <algorithm>

#include "platform/Terminal.h"

namespace cli {

std::string FormatDuration(int64_t frames, uint32_t rate) {
    const int64_t tenths = rate == 0 ? 0 : frames * 10 / rate;
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld.%lld", static_cast<long long>(tenths / 600),
                  static_cast<long long>(tenths / 10 % 60), static_cast<long long>(tenths % 10));
    return text;
}

Progress::Progress(bool enabled, std::FILE* stream, uint32_t rate, int64_t totalFrames,
                   std::vector<int64_t> passEndFrames, int32_t passes, int64_t fadeStart)
    : enabled_(enabled),
      stream_(stream),
      rate_(rate),
      totalFrames_(totalFrames),
      passEndFrames_(std::move(passEndFrames)),
      passes_(passes),
      fadeStart_(fadeStart) {}

Progress Progress::OnStandardError(uint32_t rate, const playback::Timing& timing) {
    return Progress(platform::StandardErrorIsTerminal(), stderr, rate, timing.plan.totalFrames,
                    timing.passEndFrames, timing.passes, timing.plan.fadeStart);
}

std::string Progress::Line(int64_t framesDone) const {
    std::string line =
        FormatDuration(framesDone, rate_) + " / " + FormatDuration(totalFrames_, rate_);
    if (passes_ > 0) {
        if (framesDone >= fadeStart_ && fadeStart_ < totalFrames_) {
            line += "  fading out";
        } else {
            const auto ended =
                std::upper_bound(passEndFrames_.begin(), passEndFrames_.end(), framesDone) -
                passEndFrames_.begin();
            const auto pass = std::min<int64_t>(ended + 1, passes_);
            line += "  loop " + std::to_string(pass) + "/" + std::to_string(passes_);
        }
    }
    return line;
}

void Progress::Draw(int64_t framesDone) {
    std::string line = Line(framesDone);
    const std::size_t length = line.size();
    // Blank out what is left of a longer previous line.
    if (length < lastLength_) line.append(lastLength_ - length, ' ');
    lastLength_ = length;
    std::fprintf(stream_, "\r%s", line.c_str());
    std::fflush(stream_);
}

void Progress::Update(int64_t framesDone) {
    if (!enabled_) return;
    const auto now = std::chrono::steady_clock::now();
    if (now - lastDraw_ < std::chrono::milliseconds(100)) return;
    lastDraw_ = now;
    Draw(framesDone);
}

void Progress::Finish(int64_t framesDone) {
    if (!enabled_) return;
    Draw(framesDone);
    std::fputc('\n', stream_);
    std::fflush(stream_);
}

}  // namespace cli
