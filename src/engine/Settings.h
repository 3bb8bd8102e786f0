#pragma once
// The settings file: an INI file with the section "velnari", whose keys
// "FMVolume" and "PSGVolume" give the output volumes in half-decibel steps,
// and "ExactSeek" how the plug-in seeks. The plug-in reads the one beside its
// module, the command line the one beside its program.

#include <string>

#include "engine/Engine.h"

namespace engine {

// Reads "FMVolume" and then "PSGVolume" (default "0" each), each converted as
// a whole decimal integer. A value that does not convert ends the reading: it
// and every value not yet read stay 0 (so a bad "FMVolume" gives 0 for both,
// a bad "PSGVolume" keeps the FM volume). A missing file or key reads as "0".
Volumes ReadVolumes(const std::string& settingsFile);

// Reads "ExactSeek" (default "0"): true when it converts as a whole decimal
// integer other than 0 ("ExactSeek=1"); anything else keeps the plug-in's
// seek a restart.
bool ReadExactSeek(const std::string& settingsFile);

}  // namespace engine
