#include "HostOptions.h"

#include <charconv>
#include <cstring>
#include <string_view>

namespace host {

namespace {

// Largest Render request the host makes: it holds one request in memory.
constexpr uint64_t kLargestChunk = 64u << 20;

// Longest render the host accepts: about 115 days, far beyond any test, and
// small enough that frame counts stay exact in 64 bits.
constexpr double kMaxSeconds = 1e7;

// Whole-text unsigned decimal within [0, max].
bool ParseUnsigned(std::string_view text, uint64_t max, uint64_t& value) {
    const char* end = text.data() + text.size();
    auto [stop, code] = std::from_chars(text.data(), end, value);
    return code == std::errc() && stop == end && value <= max;
}

// Whole-text non-negative decimal number of seconds (digits, one optional
// fraction). Written by hand because std::from_chars for double is missing
// from some of the runtimes the host is built with.
bool ParseSeconds(std::string_view text, double& value) {
    double whole = 0;
    double scale = 0;
    bool digits = false;
    for (char c : text) {
        if (c == '.' && scale == 0) {
            scale = 1;
        } else if (c >= '0' && c <= '9') {
            digits = true;
            if (scale == 0) {
                whole = whole * 10 + (c - '0');
            } else {
                scale /= 10;
                whole += (c - '0') * scale;
            }
        } else {
            return false;
        }
    }
    value = whole;
    return digits && value <= kMaxSeconds;
}

}  // namespace

const char* HostUsage() {
    return "usage: velnari-host PLUGIN [SONG] [options]\n"
           "Loads PLUGIN as a media player would, checks and prints its module record,\n"
           "then (given SONG) opens it, renders and closes it.\n"
           "  --rate HZ        rate handed to Open (default 0: the plug-in chooses)\n"
           "  --seconds S      seconds of output to render (default 0)\n"
           "  --chunk BYTES    bytes per Render call, 4 to 64 MiB (default 4096)\n"
           "  --seek-at MS     call SetPosition when the output reaches MS milliseconds\n"
           "  --seek-to MS     position passed to SetPosition (default 0)\n"
           "  --out FILE       write the PCM to FILE (.wav: WAV file, otherwise raw)\n"
           "  --probe          also call the entry points with null arguments\n"
           "  --quiet          print only faults\n"
           "Exit status: 0 done, 1 usage, 2 module not loadable, 3 faulty record,\n"
           "4 open failed, 5 output not writable, 6 the plug-in broke the host's rules.\n";
}

std::optional<HostOptions> ParseHostOptions(int argc, char** argv, std::string& error) {
    HostOptions options;
    int positional = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            error.clear();
            return std::nullopt;
        }
        if (arg == "--probe") {
            options.probe = true;
            continue;
        }
        if (arg == "--quiet") {
            options.quiet = true;
            continue;
        }
        if (arg.size() > 2 && arg.substr(0, 2) == "--") {
            if (i + 1 >= argc) {
                error = std::string(arg) + " needs a value";
                return std::nullopt;
            }
            const std::string_view value = argv[++i];
            uint64_t number = 0;
            bool ok = true;
            if (arg == "--rate") {
                ok = ParseUnsigned(value, UINT32_MAX, number);
                options.rate = static_cast<uint32_t>(number);
            } else if (arg == "--chunk") {
                ok = ParseUnsigned(value, kLargestChunk, number) && number >= 4;
                options.chunk = static_cast<uint32_t>(number);
            } else if (arg == "--seek-at") {
                ok = ParseUnsigned(value, UINT32_MAX, number);
                options.seekAtMs = static_cast<int64_t>(number);
            } else if (arg == "--seek-to") {
                ok = ParseUnsigned(value, UINT32_MAX, number);
                options.seekTargetMs = static_cast<uint32_t>(number);
            } else if (arg == "--seconds") {
                ok = ParseSeconds(value, options.seconds);
            } else if (arg == "--out") {
                options.output = value;
            } else {
                error = "unknown option " + std::string(arg);
                return std::nullopt;
            }
            if (!ok) {
                error = "bad value for " + std::string(arg) + ": " + std::string(value);
                return std::nullopt;
            }
            continue;
        }
        if (positional == 0) {
            options.plugin = arg;
        } else if (positional == 1) {
            options.song = arg;
        } else {
            error = "too many arguments";
            return std::nullopt;
        }
        ++positional;
    }
    if (options.plugin.empty()) {
        error = "no plug-in given";
        return std::nullopt;
    }
    return options;
}

}  // namespace host
