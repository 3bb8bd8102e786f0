#include "platform/DebugOutput.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace platform {

void WriteDebugString(const char* text) {
    if (text == nullptr) return;
    const char* wanted = std::getenv("VELNARI_DEBUG_OUTPUT");
    if (wanted == nullptr || *wanted == '\0') return;
    // Straight to the descriptor, unbuffered, so the text is out even if the
    // process dies right after. A failed write is not worth reporting here.
    size_t left = std::strlen(text);
    while (left > 0) {
        const ssize_t written = ::write(STDERR_FILENO, text, left);
        if (written <= 0) return;
        text += written;
        left -= static_cast<size_t>(written);
    }
}

}  // namespace platform
