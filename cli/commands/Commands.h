#pragma once
// The sub-commands (voices: VoicesCommand.h) and the program's entry. Each command returns the
// process exit status or throws CliError.

#include "options/Options.h"

namespace cli {

int RunRender(const RenderOptions& options);
int RunPlay(const PlayOptions& options);
int RunCheck(const CheckOptions& options);
int RunInfo(const InfoOptions& options);

// Parses argv, runs the command, prints any error as one line on standard
// error and returns the exit status.
int RunCommandLine(int argc, const char* const* argv);

// The path of stem `part` (1-6) beside the mix: "dir/name.wav" gives
// "dir/name-3.wav".
std::string StemPath(const std::string& output, int part);

// The default output of a render: the song's base name with ".wav", in the
// current folder.
std::string DefaultOutputPath(const std::string& song);

}  // namespace cli
