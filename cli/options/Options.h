#pragma once
// What the command line asked for, after parsing and validation: plain values
// that the commands read. Ranges are checked by the parser (CommandLine), so
// every value here is usable as it stands.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace cli {

// How compile faults and warnings are shown, for check, render and play.
struct DiagnosticOptions {
    enum class Format {
        kPlugin,  // faults exactly as the plug-in's message box shows them
        kGnu,     // FILE:LINE:COL: error: TEXT, the quote made readable
    };
    Format format = Format::kPlugin;
    bool warningsAreErrors = false;  // --werror: a warning fails the song
};

// Timing and mixing, shared by render and play.
struct MixOptions {
    uint32_t rate = 44100;              // output rate in Hz
    int32_t loops = 2;                  // passes of every part's endless loop
    std::optional<double> seconds;      // fixed length instead of loops
    std::optional<double> fadeSeconds;  // unset: 5 s after loops, none with --seconds
    double maxSeconds = 600.0;          // longest loop-based render
    uint32_t chipMask = 0;              // mute bits for the chip: 0-2 FM 1-3, 6-8 SSG A-C
    uint32_t soloParts = 0;             // the parts --solo or --mute named (bit 0 = part 1)
    uint32_t muteParts = 0;
    std::optional<int32_t> fmVolume;  // half-decibel steps; unset: the settings file
    std::optional<int32_t> ssgVolume;
    // Where the output begins, as a time or a tick of the piece (at most one
    // is set); the length options still count from the piece's beginning.
    std::optional<double> startSeconds;
    std::optional<int64_t> startTick;
    // --bars: bars first..last (counted from 1), once (render) or on repeat
    // (play) from the first's first tick; instead of the length and start.
    struct Bars {
        int64_t first = 1;
        int64_t last = 1;
    };
    std::optional<Bars> bars;

    static constexpr double kDefaultFadeSeconds = 5.0;
};

// Tags for a register-log output (.vgm, .vgz, .s98), as given; unset: the song's tag lines.
struct LogTagOptions {
    std::optional<std::string> title;  // unset: the song's #title, else its base name
    std::optional<std::string> author;
    std::optional<std::string> notes;
    std::optional<std::string> date;

    bool Any() const { return title || author || notes || date; }
};

struct RenderOptions {
    std::string song;
    std::string output;  // empty: the song's base name with ".wav"; "-": raw PCM to stdout
    bool stems = false;
    MixOptions mix;
    LogTagOptions tags;
    DiagnosticOptions diagnostics;
};

struct PlayOptions {
    std::string song;
    MixOptions mix;
    bool watch = false;  // follow the file as it is edited
    DiagnosticOptions diagnostics;
};

struct CheckOptions {
    std::vector<std::string> songs;
    bool plain = false;  // every use of an extension of the language is an error
    DiagnosticOptions diagnostics;
};

struct InfoOptions {
    std::string song;
    bool json = false;
    bool notes = false;             // every note over the first whole loop
    std::optional<double> seconds;  // ... or over this many seconds
    uint32_t rate = 44100;
    double maxSeconds = 600.0;
};

struct VoicesOptions {
    std::string log;
};

}  // namespace cli
