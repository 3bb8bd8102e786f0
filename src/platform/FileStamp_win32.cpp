#include "platform/FileStamp.h"

#include <windows.h>

#include "platform/LongPath_win32.h"

namespace platform {

namespace {

// FILETIME counts 100 ns steps.
int64_t Nanoseconds(const FILETIME& time) {
    return static_cast<int64_t>((static_cast<uint64_t>(time.dwHighDateTime) << 32) |
                                time.dwLowDateTime) *
           100;
}

}  // namespace

FileStamp StampFile(const char* path) {
    FileStamp stamp;
    if (path == nullptr) return stamp;
    // Opened for its attributes only, sharing everything, so that an editor
    // saving meanwhile is never refused.
    constexpr DWORD kShared = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    const HANDLE file =
        IsLongPath(path)
            ? CreateFileW(ExtendedLengthPath(path).c_str(), FILE_READ_ATTRIBUTES, kShared, nullptr,
                          OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr)
            : CreateFileA(path, FILE_READ_ATTRIBUTES, kShared, nullptr, OPEN_EXISTING,
                          FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return stamp;
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileInformationByHandle(file, &info)) {
        stamp.exists = true;
        stamp.device = info.dwVolumeSerialNumber;
        stamp.file = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
        stamp.size = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
        stamp.modified = Nanoseconds(info.ftLastWriteTime);
    }
    CloseHandle(file);
    return stamp;
}

}  // namespace platform
