#include "playback/StartPosition.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace playback {

namespace {

// Digits with an optional fraction ("12", "12.5", "12."); nothing else.
std::optional<double> ParseDecimal(const std::string& text) {
    const std::size_t digits = text.find_first_not_of("0123456789");
    if (digits == 0 || text.empty()) return std::nullopt;
    if (digits != std::string::npos &&
        (text[digits] != '.' ||
         text.find_first_not_of("0123456789", digits + 1) != std::string::npos)) {
        return std::nullopt;
    }
    return std::strtod(text.c_str(), nullptr);
}

}  // namespace

std::optional<double> ParseStartTime(const std::string& text) {
    const std::size_t colon = text.find(':');
    if (colon == std::string::npos) return ParseDecimal(text);
    const std::string minutes = text.substr(0, colon);
    if (minutes.empty() || minutes.find_first_not_of("0123456789") != std::string::npos ||
        minutes.size() > 6) {
        return std::nullopt;
    }
    const std::optional<double> seconds = ParseDecimal(text.substr(colon + 1));
    if (!seconds || *seconds >= 60.0) return std::nullopt;
    return std::stod(minutes) * 60.0 + *seconds;
}

int64_t StartFrame(const Start& start, uint32_t rate, int32_t framesPerTick, int64_t endFrame) {
    int64_t frame = 0;
    if (start.seconds) {
        frame = SecondsToFrames(*start.seconds, rate);
    } else if (start.tick) {
        // Past the end already when the product would not fit.
        const int64_t perTick = std::max(framesPerTick, 1);
        frame = *start.tick > endFrame / perTick ? endFrame : *start.tick * perTick;
    }
    return std::clamp<int64_t>(frame, 0, std::max<int64_t>(endFrame, 0));
}

}  // namespace playback
