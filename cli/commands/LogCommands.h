#pragma once
// The commands where a register log (.vgm, .vgz, .s98) comes in or goes
// out: a song exported as a log, and a log rendered, played or described.
// Each returns the process exit status or throws CliError.

#include <string>

#include "options/Options.h"

namespace cli {

// render SONG -o OUT.vgm/.vgz/.s98: `output` is the log's path.
int RunExportLog(const RenderOptions& options, const std::string& output);

// render/play/info with a log as the SONG.
int RunRenderLog(const RenderOptions& options, const std::string& output);
int RunPlayLog(const PlayOptions& options);
int RunInfoLog(const InfoOptions& options);

}  // namespace cli
