#pragma once
// Lines and columns in a source text, as the compiler counts them: for a
// message about a place in the text, or to show where a compiled command was
// written (its song::SourceSpan).

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "song/Command.h"

namespace Tarsel {

// A place in the source: 1-based line and byte column; line 0 is the whole
// song, or no place. `length`: the bytes of the text there (0: not known).
struct SourcePlace {
    int32_t line = 0;
    int32_t column = 0;
    int32_t length = 0;
};

// The line starts of a text as Compile was given it. Lines end at "\r\n",
// "\r" or "\n", as the compiler's line numbers do; columns on the first line
// count from after a leading byte-order mark, which the compiler skips. The
// text is viewed, not copied: it must outlive this.
class SourceLines {
  public:
    explicit SourceLines(std::string_view text = {});

    // Where the byte at `offset` stands, with the text there of `length`
    // bytes cut at its line's end; no place for an offset outside the text's
    // lines (past its end, or inside the byte-order mark).
    SourcePlace PlaceOf(std::size_t offset, std::size_t length = 0) const;

    // Where a compiled command was written; no place for a command nobody
    // wrote.
    SourcePlace PlaceOf(const song::Command& command) const {
        return command.source.Known() ? PlaceOf(command.source.offset, command.source.length)
                                      : SourcePlace{};
    }

    std::string_view Text() const { return text_; }

  private:
    std::string_view text_;
    std::vector<std::size_t> lineStarts_;  // byte offset of each line's start
};

}  // namespace Tarsel
