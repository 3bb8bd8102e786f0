// Compiling arbitrary bytes: the compiler must either return a well-formed
// song without a word, or refuse with exactly one message in its documented
// form, naming a line that exists.

#include <algorithm>
#include <string>
#include <string_view>

#include "FuzzTargets.h"
#include "ScratchFile.h"
#include "platform/ErrorReporter.h"
#include "plugin/LoadSong.h"
#include "song/Song.h"

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

// The frame every compiled song has: a used part is an endless loop around
// its commands, an unused part is empty, and every macro ends with its return.
bool WellFormedSong(const Song& song) {
    for (int part = 0; part < Song::kPartCount; ++part) {
        const CommandList& list = song.Part(part);
        if (!song.IsPartUsed(part)) {
            if (!list.empty()) return false;
            continue;
        }
        if (list.size() < 3 || list.front().code != '{' || list.front().arg[0] != 0 ||
            list.back().code != '}') {
            return false;
        }
    }
    for (const auto& [name, list] : song.Macros()) {
        if (list.empty() || list.back().code != '%') return false;
    }
    return true;
}

}  // namespace

int CompileSong(const uint8_t* data, std::size_t size) {
    static ScratchFile file("song.mml");
    file.Write(data, size);

    int messages = 0;
    std::string first;
    const platform::ErrorReporter previous =
        platform::SetErrorReporter([&](std::string_view, std::string_view text) {
            if (messages++ == 0) first.assign(text);
        });
    const std::unique_ptr<Song> song = LoadSong(file.Path().c_str());
    platform::SetErrorReporter(previous);

    if (size == 0) {
        // An empty file cannot be mapped: refused without a message.
        FUZZ_CHECK(song == nullptr && messages == 0);
        return 0;
    }
    if (song) {
        FUZZ_CHECK(messages == 0);
        FUZZ_CHECK(WellFormedSong(*song));
    } else {
        FUZZ_CHECK(messages == 1);
        // Every line end is one CR or LF byte at least, so no reading of the
        // text can count more lines than these bytes plus one.
        const auto* end = data + size;
        const std::size_t maxLine = 1 + static_cast<std::size_t>(std::count(data, end, '\n')) +
                                    static_cast<std::size_t>(std::count(data, end, '\r'));
        FUZZ_CHECK(WellFormedMessage(first, file.Path(), maxLine));
    }
    return 0;
}

}  // namespace fuzz
