// Compiling arbitrary bytes: the compiler must either return a well-formed
// song, or refuse with one fault whose message has its documented form and
// names a line that exists, with a column inside that line; a song that
// compiles is reviewed by the warnings pass, whose warnings point into it.

#include <algorithm>
#include <string>
#include <string_view>

#include "FuzzTargets.h"
#include "mml/Compile.h"
#include "mml/Warnings.h"
#include "song/CommandTable.h"
#include "song/Song.h"

using song::CommandList;
using song::Song;

namespace fuzz {
namespace {

// "FILE(LINE) : " with a decimal LINE from 1 to `maxLine`.
bool WellFormedMessage(std::string_view text, std::string_view file, std::size_t maxLine) {
    if (text.substr(0, file.size()) != file) return false;
    text.remove_prefix(file.size());
    if (text.empty() || text.front() != '(') return false;
    text.remove_prefix(1);
    std::size_t line = 0;
    std::size_t digits = 0;
    while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9' && digits < 12) {
        line = line * 10 + static_cast<std::size_t>(text[digits] - '0');
        ++digits;
    }
    if (digits == 0 || line < 1 || line > maxLine) return false;
    text.remove_prefix(digits);
    return text.substr(0, 4) == ") : " && !text.empty() && text.back() == '\n';
}

// Every command written in the text says where, inside it.
bool SourcesInside(const CommandList& list, std::size_t textSize) {
    return std::all_of(list.begin(), list.end(), [textSize](const song::Command& command) {
        return uint64_t{command.source.offset} + command.source.length <= textSize;
    });
}

// The frame every compiled song has: a used part is an endless loop around
// its commands, an unused part is empty, and every macro ends with its return.
// Every command's source is inside the text.
bool WellFormedSong(const Song& song, std::size_t textSize) {
    for (int part = 0; part < song::kPartCount; ++part) {
        if (!SourcesInside(song.Part(part), textSize)) return false;
        const CommandList& list = song.Part(part);
        if (!song.IsPartUsed(part)) {
            if (!list.empty()) return false;
            continue;
        }
        if (list.size() < 3 || list.front().code != song::code::kLoopOpen ||
            list.front().arg[0] != 0 || list.back().code != song::code::kLoopClose) {
            return false;
        }
    }
    for (const auto& [name, list] : song.Macros()) {
        if (list.empty() || list.back().code != song::code::kReturn) return false;
        if (!SourcesInside(list, textSize)) return false;
    }
    return true;
}

}  // namespace

int CompileSong(const uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const Tarsel::CompileResult compiled = Tarsel::Compile(text, "song.mml");
    FUZZ_CHECK(!compiled.song != !compiled.fault);
    if (compiled.song) {
        FUZZ_CHECK(WellFormedSong(*compiled.song, size));
        // The warnings pass reviews the same text; each warning has a text and
        // stands on a line of it (0: the whole song).
        const std::size_t lines =
            1 + static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) +
            static_cast<std::size_t>(std::count(text.begin(), text.end(), '\r'));
        for (const Tarsel::Warning& warning : Tarsel::FindWarnings(text, "song.mml")) {
            FUZZ_CHECK(!warning.text.empty());
            FUZZ_CHECK(warning.line >= 0 && static_cast<std::size_t>(warning.line) <= lines);
            FUZZ_CHECK(warning.column >= 0 && static_cast<std::size_t>(warning.column) <= size + 1);
        }
        return 0;
    }
    // Every line end is one CR or LF byte at least, so no reading of the text
    // can count more lines than these bytes plus one.
    const auto* end = data + size;
    const std::size_t maxLine = 1 + static_cast<std::size_t>(std::count(data, end, '\n')) +
                                static_cast<std::size_t>(std::count(data, end, '\r'));
    const Tarsel::CompileFault& fault = *compiled.fault;
    FUZZ_CHECK(WellFormedMessage(fault.message, "song.mml", maxLine));
    FUZZ_CHECK(fault.line >= 1 && static_cast<std::size_t>(fault.line) <= maxLine);
    FUZZ_CHECK(fault.column >= 0 && static_cast<std::size_t>(fault.column) <= size + 1);
    return 0;
}

}  // namespace fuzz
