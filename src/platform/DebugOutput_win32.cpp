#include "platform/DebugOutput.h"

#include <windows.h>

namespace platform {

void WriteDebugString(const char* text) {
    if (text != nullptr) OutputDebugStringA(text);
}

}  // namespace platform
