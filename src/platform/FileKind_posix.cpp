#include "platform/FileKind.h"

#include <sys/stat.h>

namespace platform {

bool IsRegularFile(const char* path) {
    struct stat info {};
    return path != nullptr && ::stat(path, &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace platform
