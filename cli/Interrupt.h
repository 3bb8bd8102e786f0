#pragma once

namespace cli {
// Ctrl-C asks the running command to stop cleanly (close the
// sound device, remove a half-written file); the command polls Interrupted().

// Installs the SIGINT handler. Safe to call more than once.
void InstallInterruptHandler();

// Whether Ctrl-C has been pressed since the handler was installed.
bool Interrupted();

}  // namespace cli
