#pragma once
// voices LOG: the FM voices a register log keys on, printed as voice
// definitions of the dialect, ready to paste into a song.

#include "options/Options.h"

namespace cli {

int RunVoices(const VoicesOptions& options);

}  // namespace cli
