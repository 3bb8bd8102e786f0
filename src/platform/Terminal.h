#pragma once
// Whether an output stream reaches a person at a terminal.

namespace platform {

// True when standard error is a terminal (not a file, a pipe or /dev/null):
// progress displays are drawn only there.
bool StandardErrorIsTerminal();

}  // namespace platform
