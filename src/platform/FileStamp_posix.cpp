#include "platform/FileStamp.h"

#include <sys/stat.h>

namespace platform {

namespace {

int64_t Nanoseconds(const struct timespec& time) {
    return static_cast<int64_t>(time.tv_sec) * 1000000000 + time.tv_nsec;
}

}  // namespace

FileStamp StampFile(const char* path) {
    FileStamp stamp;
    struct stat info {};
    if (path == nullptr || ::stat(path, &info) != 0) return stamp;
    stamp.exists = true;
    stamp.device = static_cast<uint64_t>(info.st_dev);
    stamp.file = static_cast<uint64_t>(info.st_ino);
    stamp.size = static_cast<uint64_t>(info.st_size);
    stamp.modified = Nanoseconds(info.st_mtim);
    stamp.changed = Nanoseconds(info.st_ctim);
    return stamp;
}

}  // namespace platform
