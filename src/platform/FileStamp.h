#pragma once
// What tells one version of a file from the next without reading it: which
// file a path names, its size and when it was last written. Watching a song
// while it is edited compares stamps taken a moment apart.
//
// An editor that saves by writing a new file and renaming it over the old
// one leaves the path naming another file: the identity changes even when
// the size and the time happen to be equal.

#include <cstdint>

namespace platform {

struct FileStamp {
    bool exists = false;   // the path names a file that could be examined
    uint64_t device = 0;   // with `file`, which file the path names (device and
    uint64_t file = 0;     // inode; volume serial number and file index)
    uint64_t size = 0;     // bytes
    int64_t modified = 0;  // last write of the contents, in nanoseconds
    int64_t changed = 0;   // last change of the contents or the attributes (0 where
                           // the system keeps no such time)

    friend bool operator==(const FileStamp&, const FileStamp&) = default;
};

// The stamp of the file at `path` (an ANSI path on Windows) as it is now;
// `exists` is false for a null, missing or unreachable path.
FileStamp StampFile(const char* path);

}  // namespace platform
