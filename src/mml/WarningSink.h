#pragma once
// What the parts of the warnings pass share: where a stored command was
// written, and the list that collects the warnings.

#include <algorithm>
#include <cstdint>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "mml/SourceLines.h"
#include "mml/Warnings.h"
#include "song/Command.h"

namespace Tarsel {

// Where each command of a compiled song was written, read from the
// command's own source. The frame that every part list gets ("{" ... "}")
// and the "%" ending each macro were not written by anyone: line 0.
class CommandPlaces {
  public:
    explicit CommandPlaces(const SourceLines& lines) : lines_(lines) {}

    SourcePlace Of(const song::Command& command) const { return lines_.PlaceOf(command); }

  private:
    const SourceLines& lines_;
};

// Collects warnings, at most one of a kind at one place (a command inside a
// loop or a macro is met many times).
class WarningSink {
  public:
    void Add(Warning::Kind kind, SourcePlace place, std::string text) {
        if (!seen_.emplace(static_cast<int>(kind), place.line, place.column).second) return;
        warnings_.push_back({kind, place.line, place.column, place.length, std::move(text)});
    }

    // The warnings in source order; those found at one place keep their order.
    std::vector<Warning> Take() {
        std::stable_sort(warnings_.begin(), warnings_.end(),
                         [](const Warning& a, const Warning& b) {
                             return std::tie(a.line, a.column) < std::tie(b.line, b.column);
                         });
        return std::move(warnings_);
    }

  private:
    std::vector<Warning> warnings_;
    std::set<std::tuple<int, int32_t, int32_t>> seen_;
};

}  // namespace Tarsel
