#pragma once

#include "CliError.h"

namespace cli {
// A terminating signal (Ctrl-C, SIGTERM from `kill` or `timeout`, SIGHUP when
// the terminal goes away, ...) asks the running command to stop cleanly
// (close the sound device, remove a half-written file); the command polls
// Interrupted() and ends with InterruptedStatus().

// Installs the handler for every terminating signal that can be caught.
// Safe to call more than once.
void InstallInterruptHandler();

// Whether such a signal has arrived since the handler was installed.
bool Interrupted();

// The exit status that reports the first signal that arrived, 128 + its
// number as shells show it (130 for Ctrl-C, 143 for SIGTERM, 129 for SIGHUP).
int InterruptedStatus();

// The signal's name for messages ("SIGTERM"), or "Ctrl-C" for SIGINT.
const char* InterruptedBy();

// The error that ends a render so stopped: "stopped by SIGTERM; nothing was
// written", with InterruptedStatus().
CliError StoppedWritingNothing();

// Throws StoppedWritingNothing() once a signal has arrived: a poll for work
// that checks in often (a register log's export).
void StopIfInterrupted();

// The same for work while playing or about to (play's and watch's look
// ahead to --bars), where nothing is written: "stopped by Ctrl-C".
void StopPlayingIfInterrupted();

}  // namespace cli
