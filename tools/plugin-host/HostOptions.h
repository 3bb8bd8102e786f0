#pragma once
// The command line of velnari-host, a minimal media-player host used to test
// plug-in modules the way a player loads them:
//
//   velnari-host PLUGIN [SONG] [options]
//
// Plain argument parsing with no library, so the host builds with any
// compiler the plug-in builds with, the Windows cross compilers included.

#include <cstdint>
#include <optional>
#include <string>

namespace host {

struct HostOptions {
    std::string plugin;         // path of the module to load
    std::string song;           // file to open; empty: only check the record
    uint32_t rate = 0;          // SoundInfo rate handed to Open; 0 lets the plug-in choose
    double seconds = 0;         // length of output to render, in seconds at the opened rate
    uint32_t chunk = 4096;      // bytes asked for in each Render call
    int64_t seekAtMs = -1;      // output time (ms) at which to call SetPosition; -1: never
    uint32_t seekTargetMs = 0;  // the position passed to SetPosition
    std::string output;         // PCM destination; ".wav" gets a RIFF header, else raw
    bool probe = false;         // also exercise the null-argument rules of the entry points
    bool quiet = false;         // print only faults
};

// Parses argv. On a usage error returns nothing and sets `error`; `--help`
// returns nothing with an empty error.
std::optional<HostOptions> ParseHostOptions(int argc, char** argv, std::string& error);

// The usage text.
const char* HostUsage();

}  // namespace host
