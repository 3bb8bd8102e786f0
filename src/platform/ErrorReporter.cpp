#include "platform/ErrorReporter.h"

#include <utility>

namespace platform {

const char kErrorCaption[] = "\x83\x47\x83\x89\x81\x5B";

namespace {

// The installed reporter; empty means the default. The player runs on one
// thread, so no lock guards it.
ErrorReporter& Installed() {
    static ErrorReporter reporter;
    return reporter;
}

}  // namespace

void ShowError(std::string_view text) {
    const ErrorReporter& reporter = Installed();
    if (reporter) {
        reporter(kErrorCaption, text);
    } else {
        DefaultErrorReporter(kErrorCaption, text);
    }
}

ErrorReporter SetErrorReporter(ErrorReporter r) {
    return std::exchange(Installed(), std::move(r));
}

}  // namespace platform
