#pragma once
// The options that concern register logs (.vgm, .vgz, .s98): the tags of a
// log output, and which of render's other options a log output or input
// refuses or ignores.

#include <CLI/CLI.hpp>
#include <string>

#include "options/Options.h"

namespace cli {

// Adds --title, --author, --notes and --date to the render command.
void AddLogTagOptions(CLI::App& render, LogTagOptions& tags);

// Checks a parsed render command whose output or song is a register log.
// Throws CliError (usage) for what cannot be done; appends a warning line to
// `warnings` for each given option that does not apply.
void CheckRegisterLogOptions(const CLI::App& render, const RenderOptions& options,
                             std::string& warnings);

// Checks a parsed play command whose song is a register log: --watch and
// --start-tick need a song. Throws CliError (usage).
void CheckPlayLogOptions(const PlayOptions& options);

}  // namespace cli
