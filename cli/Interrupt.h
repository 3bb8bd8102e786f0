#pragma once
// Ctrl-C: the first one asks the running command to stop cleanly (close the
// sound device, remove a half-written file); the command polls Interrupted().
// A second Ctrl-C ends the program at once.

// Installs the SIGINT handler. Safe to call more than once.
void InstallInterruptHandler();

// Whether Ctrl-C has been pressed since the handler was installed.
bool Interrupted();
