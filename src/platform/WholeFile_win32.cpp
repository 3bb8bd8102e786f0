#include "platform/WholeFile.h"

#include <windows.h>

#include <algorithm>
#include <new>
#include <stdexcept>

#include "platform/LongPath_win32.h"

namespace platform {

bool ReadWholeFile(const char* path, std::string& contents) {
    contents.clear();
    if (path == nullptr) return false;
    constexpr DWORD kShared = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    const HANDLE file =
        IsLongPath(path) ? CreateFileW(ExtendedLengthPath(path).c_str(), GENERIC_READ, kShared,
                                       nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr)
                         : CreateFileA(path, GENERIC_READ, kShared, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size{};
    bool ok = GetFileType(file) == FILE_TYPE_DISK && GetFileSizeEx(file, &size) &&
              size.QuadPart > 0 &&
              static_cast<unsigned long long>(size.QuadPart) <= contents.max_size();
    try {
        if (ok) contents.resize(static_cast<std::size_t>(size.QuadPart));
    } catch (const std::bad_alloc&) {
        ok = false;
    } catch (const std::length_error&) {
        ok = false;
    }
    std::size_t got = 0;
    while (ok && got < contents.size()) {
        const DWORD want =
            static_cast<DWORD>(std::min<std::size_t>(contents.size() - got, 1u << 30));
        DWORD n = 0;
        if (!ReadFile(file, contents.data() + got, want, &n, nullptr)) ok = false;
        if (!ok || n == 0) break;  // 0: the file has shrunk since it was opened
        got += n;
    }
    CloseHandle(file);
    contents.resize(ok ? got : 0);
    return !contents.empty();
}

}  // namespace platform
