#pragma once
// What `velnari info` reports about a song: its tags, tempo and tick length,
// each part with the length of its first pass and of its loop, the definitions
// the file makes and the extensions of the language it uses; as text for
// people or as one JSON object for tools.

#include <array>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/LoopDetector.h"
#include "mml/Extension.h"
#include "playback/TickMap.h"
#include "song/Song.h"

namespace cli {

struct SongInfo {
    struct Part {
        bool used = false;
        std::optional<int64_t> firstPassTicks;  // end of the first pass (or of a part that stops)
        std::optional<int64_t> loopTicks;       // length of the second pass
        int64_t loopStartTick = 0;              // where the second pass starts
        bool stops = false;                     // the part's commands run out
    };

    std::string file;
    int32_t tempo = 0;
    uint32_t rate = 0;
    int32_t framesPerTick = 0;  // of the first tick
    playback::TickMap ticks;    // where each tick starts: the tempo map
    std::array<Part, song::kPartCount> parts;
    std::vector<int32_t> voices;             // sound numbers defined
    std::vector<int32_t> envelopes;          // SSG envelope numbers defined
    std::vector<std::string> macros;         // macro names defined
    std::vector<std::string> missingMacros;  // called somewhere, never defined
    bool searchLimited = false;              // some loop was not found within the search limit
    bool tempoDrifts = false;                // the passes end, the tempo never repeats
    int64_t searchedTicks = 0;               // the ticks the loop search looked through
    song::Tags tags;                         // from the song's tag lines
    std::vector<std::string> extensions;     // the extensions used, by name, each once

    // Seconds from the start of tick `from` to that of tick `to`, as played.
    double TicksToSeconds(int64_t to, int64_t from = 0) const;
};

// The definitions the song makes, the macros it calls and its tags.
void DescribeDefinitions(const song::Song& song, SongInfo& info);

// The extensions of the language that the compile noted, in their order.
void DescribeExtensions(const std::vector<Tarsel::ExtensionUse>& uses, SongInfo& info);

// The parts' loop lengths from a two-pass search.
void DescribeLoops(const engine::LoopReport& loops, SongInfo& info);

std::string FormatText(const SongInfo& info);
// Names and file names in the JSON are always valid UTF-8 (see TextForJson).
nlohmann::json ToJson(const SongInfo& info);

// Bytes as JSON can carry them: UTF-8 as it stands, else decoded from
// Shift-JIS where they are Shift-JIS text, else with each byte that is not
// part of a UTF-8 character written as the four characters \xNN.
std::string TextForJson(std::string_view bytes);

// A UTF-8 tag for a terminal, after an 11-column label: control characters
// (C0, DEL and C1, which start escape sequences) written as \xNN or \u00NN;
// where `keepLines` (the notes), each line break kept and the next line
// indented under the first.
std::string TagForTerminal(const std::string& value, bool keepLines);

}  // namespace cli
