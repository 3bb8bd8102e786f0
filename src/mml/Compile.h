#pragma once
// The compiler's front door: MML text in, a compiled song or its first fault
// out, as data. Nothing here shows anything to anyone: the front end that
// called decides how a fault reaches the user (the plug-in's message box, a
// line on the command line's standard error, an underline in the web page).

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "mml/Extension.h"
#include "song/Song.h"

namespace Tarsel {

// The first fault of a compile; compiling stops there.
struct CompileFault {
    enum class Kind {
        kParse,      // a line the grammar cannot match
        kException,  // a command that could not be compiled (a length that is no number,
                     // a loop break outside any loop, a volume step with a sign)
    };

    Kind kind = Kind::kParse;
    int32_t line = 0;    // 1-based number of the line being compiled
    int32_t column = 0;  // 1-based byte column in that line: where the parse stopped,
                         // or where the failing command starts; 0 when not known
    // The excerpt of the failing line from the stop position up to its first
    // control byte (parse), or the exception's own text.
    std::string detail;
    // The whole text as the plug-in shows it, the line end included:
    //   NAME(LINE) : parse error at "EXCERPT"\n
    //   NAME(LINE) : WHAT\n
    std::string message;
    // The fault for a person at a UTF-8 display (the command line's GNU-style
    // messages, the web page), without name or line: `parse error at "..."`
    // quoting the rest of the line made readable (mml/Readable.h: at most 60
    // characters, tabs and invisible characters named, Shift-JIS decoded), or
    // what could not be compiled, quoted the same way.
    std::string readable;
};

struct CompileResult {
    std::shared_ptr<const song::Song> song;  // null when there is a fault
    std::optional<CompileFault> fault;
    // Every use of a language extension, in text order (mml/Extension.h),
    // for a checker of the plain dialect and for `info`.
    std::vector<ExtensionUse> extensions;
};

// Compiles `text` (8-bit source, any line ends; one leading UTF-8 byte-order
// mark is skipped). `displayName` stands for the
// text in messages, for a file its name exactly as the caller has it. Text
// that compiles without a fault gives a song, even one that uses no part.
// Safe to call from several threads: compiles take turns.
CompileResult Compile(std::string_view text, std::string_view displayName);

class CompileObserver;

// Compile with an observer (mml/CompileContext.h) that watches every action
// and every stored command, for tools that look at how a song was written.
CompileResult Compile(std::string_view text, std::string_view displayName,
                      CompileObserver& observer);

struct FileCompileResult : CompileResult {
    // False when the file could not be opened and read whole (missing,
    // unreadable, empty, not a regular file): then neither song nor fault.
    bool readable = false;
};

// Reads the file at `path` (an 8-bit path as the operating system takes it)
// whole, as it is at that moment, and compiles it with the path as the
// display name. A file rewritten meanwhile gives some version of it, never a
// fault of the reader.
FileCompileResult CompileFile(const std::string& path);

}  // namespace Tarsel
