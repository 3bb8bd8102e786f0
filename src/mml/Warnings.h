#pragma once
// The warnings pass: mistakes that compile without a fault yet play
// differently from what the writer almost certainly meant (a voice that is
// never defined, a loop end without its start, a value the player clamps or
// cuts, a pitch the SSG cannot play...). It runs beside the compiler over the
// same text and returns what it finds as data; the front end decides how to
// show it (a line on the command line's standard error, an underline in the
// web page). Nothing here changes what a song compiles to or how it plays.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "mml/Compile.h"
#include "mml/PlainDialect.h"

namespace Tarsel {

struct Warning {
    enum class Kind : uint8_t {
        kIgnoredCommand,         // compiles to nothing: no such command, or a wrong argument count
        kValueOutOfRange,        // a value the player clamps, wraps or reads as something else
        kDefinition,             // a voice or envelope line with too few or too many values,
                                 // a voice missing lines, a number defined again
        kUndefinedVoice,         // an FM part selects a voice that is not defined, or none
        kUndefinedEnvelope,      // an SSG part selects an envelope that is not defined
        kUndefinedMacro,         // a call of a macro that is never defined
        kRecursiveMacro,         // a macro that calls itself: its part stops
        kLoop,                   // a "}" without its "{", a "{" never closed, a negative count
        kUnreachable,            // commands after an endless loop
        kTempo,                  // several tempos (the last wins), or a tempo that stalls time
        kTie,                    // a "&" that follows no note
        kWrongPart,              // an SSG-only command on an FM part, or a software envelope on
                                 // a part in hardware-envelope mode
        kSSGPitchRange,          // an SSG pitch below the chip's range, which wraps to a high tone
        kNegativeEnvelopeLevel,  // an envelope level below 0, stored as 8 bits: full volume
        kRegister,               // a register write that the player overwrites
        kHardwareEnvelope,       // the SSG's one hardware envelope, changed under another
                                 // part's note, or sounding on through a rest
        kNoise,                  // the SSG's one noise generator, its period changed under
                                 // another part's noise
        kSilent,                 // a part with nothing to play, a song with no part
        kTag,                    // a tag given again (the last wins), a date that is none, text
                                 // neither UTF-8 nor Shift-JIS
    };

    Kind kind = Kind::kIgnoredCommand;
    int32_t line = 0;    // 1-based line; 0 when the warning is about the whole song
    int32_t column = 0;  // 1-based byte column in that line; 0 when not known
    int32_t length = 0;  // bytes of the text it is about, from the column on, within
                         // the line; 0 when not known
    std::string text;    // one sentence, UTF-8, without file name or position
};

// A short stable name of the kind, such as "undefined-voice".
std::string_view KindName(Warning::Kind kind);

// Compiles `text` as Compile(text, displayName) does and reviews it. The
// warnings come in source order (line, then column; song-wide ones first).
// A text that does not compile gives no warnings: its fault comes first.
std::vector<Warning> FindWarnings(std::string_view text, std::string_view displayName);

// A compile and its warnings, from one reading of the text.
struct ReviewResult : CompileResult {
    std::vector<Warning> warnings;
    // Each use of an extension, placed, for a check of the plain dialect.
    std::vector<PlainDialectFault> plainDialect;
};
ReviewResult Review(std::string_view text, std::string_view displayName);

// CompileFile's reading of the file, compiled and reviewed.
struct FileReviewResult : FileCompileResult {
    std::vector<Warning> warnings;
    std::vector<PlainDialectFault> plainDialect;
};
FileReviewResult ReviewFile(const std::string& path);

}  // namespace Tarsel
