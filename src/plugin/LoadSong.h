#pragma once
// Compiling a source file into a song.

#include <memory>

#include "song/Song.h"

// Compiles the MML file `fileName` (an ANSI path) into a new song, which the
// caller owns. The file is read into memory once, for the duration of the
// call. Returns null when the file cannot be read (missing, unreadable,
// empty, a directory) without a message, and null after
// reporting the first fault through platform::ShowError when a line does not
// parse or the compile raises a standard exception:
//   FILE(LINE) : parse error at "EXCERPT"\n
//   FILE(LINE) : WHAT\n
std::unique_ptr<Song> LoadSong(const char* fileName);
