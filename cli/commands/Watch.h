#pragma once
// velnari play SONG --watch: plays the song and follows its file while it is
// edited. Each save that compiles takes over at the same tick of the piece,
// cross-faded; a save that does not compile is reported once (file, line,
// column) while the last good version plays on. Keys on the terminal: space
// pauses, r restarts, the arrows seek 5 s, q quits.

#include "options/Options.h"

namespace cli {

// Returns the exit status: 0 after q, 130 after Ctrl-C. Throws as play does
// when the song cannot be played at the start (SongFault, CliError).
int RunWatch(const PlayOptions& options);

}  // namespace cli
