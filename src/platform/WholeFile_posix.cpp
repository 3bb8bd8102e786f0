#include "platform/WholeFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <new>
#include <stdexcept>

namespace platform {

bool ReadWholeFile(const char* path, std::string& contents) {
    contents.clear();
    if (path == nullptr) return false;
    // O_NONBLOCK: a FIFO put in the file's place must not block the open.
    const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat info {};
    bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0 &&
              static_cast<unsigned long long>(info.st_size) <= contents.max_size();
    try {
        if (ok) contents.resize(static_cast<std::size_t>(info.st_size));
    } catch (const std::bad_alloc&) {
        ok = false;
    } catch (const std::length_error&) {
        ok = false;
    }
    std::size_t got = 0;
    while (ok && got < contents.size()) {
        const ssize_t n = ::read(fd, contents.data() + got, contents.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) ok = false;
        if (n <= 0) break;  // 0: the file has shrunk since it was opened
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    contents.resize(ok ? got : 0);
    return !contents.empty();
}

}  // namespace platform
