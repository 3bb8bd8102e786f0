#include <cstdio>

#include "platform/ErrorReporter.h"

namespace platform {

// Standard error only: standard output may carry audio or a tool's results.
void DefaultErrorReporter(std::string_view caption, std::string_view text) {
    std::fwrite(caption.data(), 1, caption.size(), stderr);
    std::fputs(": ", stderr);
    std::fwrite(text.data(), 1, text.size(), stderr);
    if (text.empty() || text.back() != '\n') std::fputc('\n', stderr);
    std::fflush(stderr);
}

}  // namespace platform
