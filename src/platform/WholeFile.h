#pragma once
// Reading a whole file into memory, as one snapshot.

#include <string>

namespace platform {

// Reads the regular file `path` (an ANSI path on Windows) into `contents`.
// False, with `contents` empty, when the path is null, missing, unreadable,
// not a regular file, empty, or too large to hold in memory.
//
// Another program may be rewriting the file meanwhile: the reader gets the
// bytes that were there as it read them, at most the size the file had when
// it was opened, and never a fault. Others may write, rename or delete the
// file while it is open for reading (on Windows the file is shared for all
// three), so an editor saving the song never fails because of the reader.
bool ReadWholeFile(const char* path, std::string& contents);

}  // namespace platform
