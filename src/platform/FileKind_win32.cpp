#include "platform/FileKind.h"

#include <windows.h>

#include "platform/LongPath_win32.h"

namespace platform {

bool IsRegularFile(const char* path) {
    if (path == nullptr) return false;
    const DWORD attributes = IsLongPath(path) ? GetFileAttributesW(ExtendedLengthPath(path).c_str())
                                              : GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
}

}  // namespace platform
