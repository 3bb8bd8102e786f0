#pragma once
// How compile faults reach the user. On Windows the default shows a message
// box; elsewhere it prints to standard error. A host (the command line, a
// test) can install its own reporter to capture or redirect the messages.
// Nothing here writes to standard output.

#include <functional>
#include <string_view>

namespace platform {

// The caption of every compile-fault message: "error" in Japanese, as the six
// Shift-JIS bytes 0x83 0x47 0x83 0x89 0x81 0x5B, then NUL.
extern const char kErrorCaption[];

using ErrorReporter = std::function<void(std::string_view caption, std::string_view text)>;

// Shows `text` under kErrorCaption through the installed reporter. Windows
// default: MessageBoxA(nullptr, text, caption, MB_OK). Elsewhere: caption and
// text on standard error.
void ShowError(std::string_view text);

// Installs a reporter and returns the previous one; an empty one restores the
// default.
ErrorReporter SetErrorReporter(ErrorReporter r);

// The platform's default reporter (what an empty reporter stands for).
void DefaultErrorReporter(std::string_view caption, std::string_view text);

}  // namespace platform
