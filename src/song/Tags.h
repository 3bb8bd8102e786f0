#pragma once
// The text a song carries about itself, written in the file on tag lines
// ("#title", "#composer", "#date", "#notes"), and the form a date takes.

#include <optional>
#include <string>
#include <string_view>

namespace song {

// UTF-8 text; empty means not given. Only the notes hold line breaks ('\n'),
// one between the texts of several "#notes" lines.
struct Tags {
    std::string title;
    std::string composer;
    std::string date;  // "yyyy", "yyyy/mm" or "yyyy/mm/dd", a real date
    std::string notes;

    bool Any() const {
        return !title.empty() || !composer.empty() || !date.empty() || !notes.empty();
    }
    friend bool operator==(const Tags&, const Tags&) = default;
};

// Why `date` is not a date as a tag holds it, as a sentence that quotes it
// ("'2026/13' is no real date ..."); nullopt for a good one. A date is yyyy,
// yyyy/mm or yyyy/mm/dd, as the VGM tag defines it, and a real one (month
// 01-12, a day that month has in that year).
std::optional<std::string> DateFault(std::string_view date);

}  // namespace song
