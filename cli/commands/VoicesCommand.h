#pragma once
// voices LOG: the FM voices a register log keys on, printed as voice
// definitions of the dialect, ready to paste into a song.

#include <string>
#include <vector>

#include "options/Options.h"
#include "reglog/VoiceLift.h"

namespace cli {

// The definitions, numbered from 1 in order of first use, each with a comment
// saying where and when it first sounds; `log` names the file in the heading.
std::string FormatVoices(const std::vector<reglog::LiftedVoice>& voices, const std::string& log);

int RunVoices(const VoicesOptions& options);

}  // namespace cli
