#pragma once
// The settings file: an INI file with the section "velnari", whose keys
// "FMVolume" and "PSGVolume" give the output volumes in half-decibel steps,
// and "ExactSeek" how the plug-in seeks. The plug-in reads the one beside its
// module, the command line the one beside its program.

#include <optional>
#include <string>

#include "engine/Engine.h"

namespace engine {

// A settings value that is not a whole number, as the file holds it.
struct UnreadableSetting {
    std::string key;    // "FMVolume" or "PSGVolume"
    std::string value;  // the text after "=", blanks and quotes removed
};

// Reads "FMVolume" and then "PSGVolume" (default "0" each), each converted as
// a whole decimal integer. A value that does not convert ends the reading: it
// and every value not yet read stay 0 (so a bad "FMVolume" gives 0 for both,
// a bad "PSGVolume" keeps the FM volume). A missing file or key reads as "0".
// When `unreadable` is given, it receives the value that ended the reading,
// if one did (a front end may warn; the plug-in says nothing).
Volumes ReadVolumes(const std::string& settingsFile,
                    std::optional<UnreadableSetting>* unreadable = nullptr);

// Reads "ExactSeek" (default "0"): true when it converts as a whole decimal
// integer other than 0 ("ExactSeek=1"); anything else keeps the plug-in's
// seek a restart.
bool ReadExactSeek(const std::string& settingsFile);

}  // namespace engine
