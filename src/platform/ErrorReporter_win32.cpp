#include <windows.h>

#include <string>

#include "platform/ErrorReporter.h"

namespace platform {

// A modal box without an owner window; it blocks the calling thread until the
// user closes it. Both strings are copied to add their terminating NUL.
void DefaultErrorReporter(std::string_view caption, std::string_view text) {
    const std::string captionText(caption);
    const std::string message(text);
    ::MessageBoxA(nullptr, message.c_str(), captionText.c_str(), MB_OK);
}

}  // namespace platform
