#pragma once
// A song's notes leaving the program as notes: `info --notes` (text or JSON)
// and `render -o song.mid` (a Standard MIDI File).

#include <string>

#include "options/Options.h"

namespace cli {

// True for an output path that names a MIDI file (.mid, .midi, any case).
bool IsMidiPath(const std::string& path);

int RunInfoNotes(const InfoOptions& options);
int RunExportMidi(const RenderOptions& options, const std::string& output);

}  // namespace cli
