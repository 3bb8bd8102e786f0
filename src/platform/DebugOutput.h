#pragma once
// A line of text for a developer watching the process: on Windows it goes to
// the debugger (OutputDebugStringA), where a host's log viewer can pick it up.
// Elsewhere there is no debugger channel, so the text is written to standard
// error, and only when the environment variable VELNARI_DEBUG_OUTPUT is set
// to a non-empty value; otherwise it is dropped.

namespace platform {

// Sends `text` unchanged, with nothing added. A null pointer is ignored.
void WriteDebugString(const char* text);

}  // namespace platform
