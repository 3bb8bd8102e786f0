#pragma once
// What kind of thing a path names, asked before a file is opened.

namespace platform {

// True when the path names an existing regular file (following links).
// Directories, FIFOs, sockets and devices are not: opening a FIFO for reading
// blocks until a writer appears, which a loader must never wait for.
bool IsRegularFile(const char* path);

}  // namespace platform
