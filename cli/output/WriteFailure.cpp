#include "output/WriteFailure.h"

#include <cerrno>
#include <cstring>

// Deliberate choices:
// - A file-size limit (ulimit -f, or a file system's largest file) is
//   reported like a full disk: the program ignores SIGXFSZ, so the write that
//   passes the limit fails with EFBIG instead of ending the process with the
//   temporary file left behind.

namespace cli {

std::string WriteFailure(int systemError, const std::string& fallback) {
    switch (systemError) {
        case 0:
            return fallback;
        case ENOSPC:
            return "the disk is full";
        case EFBIG:
            return "the file grew past the largest size allowed here (a file-size limit such as "
                   "ulimit -f, or the file system's)";
        default:
            return std::strerror(systemError);
    }
}

}  // namespace cli
