#pragma once
// The settings file: an INI file with the section "velnari", whose keys
// "FMVolume" and "PSGVolume" give the output volumes in half-decibel steps.
// The plug-in reads the one beside its module, the command line the one
// beside its program.

#include <string>

#include "engine/Engine.h"

namespace engine {

// Reads "FMVolume" and then "PSGVolume" (default "0" each), each converted as
// a whole decimal integer. A value that does not convert ends the reading: it
// and every value not yet read stay 0 (so a bad "FMVolume" gives 0 for both,
// a bad "PSGVolume" keeps the FM volume). A missing file or key reads as "0".
Volumes ReadVolumes(const std::string& settingsFile);

}  // namespace engine
