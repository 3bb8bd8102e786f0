#pragma once
// The state that the compile actions share while one source file is compiled,
// and the conversions they use to turn argument text into numbers.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "mml/Extension.h"
#include "song/Command.h"
#include "song/FMVoice.h"
#include "song/Song.h"

namespace Tarsel {

struct CompileContext;

// What kind of line is being compiled; decides where its commands go.
enum LineKind : int32_t {
    kPartLine = 0,   // commands go to the part `part`
    kSoundLine = 1,  // the following lines fill the voice `soundNumber`
    kLfoLine = 2,
    kOpLine = 3,
    kSSGEnvLine = 4,
    kMacroLine = 5,  // commands go to the macro `macroName`
    kTagLine = 6,    // "#title" and the like: text for the song's tags, no commands
};

// What a compile action compiles from the arguments gathered before it.
enum class Compiled : uint8_t {
    kNote,
    kControl,
    kCall,
    kOpLine,
    kLfoLine,
    kEnvelopeLine,
    kTagLine,
};

// Sees the compile as it happens: each piece of syntax as the grammar matches
// it, and each command as it is stored. Meant for tools and tests that watch
// a compile (the warnings pass is one); a compile without an observer pays
// one untaken branch per action.
//
// When the grammar runs over plain character pointers (as Compile does), a
// text views the compiled text itself, so its data() tells where it stands.
// Each call comes before its action has run: the context holds what the
// action will compile.
class CompileObserver {
  public:
    virtual ~CompileObserver() = default;
    // Once, before the first line, from Compile: the context the actions
    // share and the text as the caller gave it (the grammar starts after a
    // leading byte-order mark).
    virtual void OnCompileStart(const CompileContext&, std::string_view /*source*/) {}
    // A line's leading syntax ("1:", "sound:", "op2:", "str:"...), which
    // starts a line of that kind.
    virtual void OnLineStart(LineKind, std::string_view /*syntax*/) {}
    // The digit of a part line or of an op line.
    virtual void OnDigit(char) {}
    // The character that opens a command (letters arrive lower case).
    virtual void OnCommandStart(char) {}
    // One argument text, possibly empty.
    virtual void OnArgument(std::string_view) {}
    // The name on a macro line.
    virtual void OnMacroName(std::string_view) {}
    // A command or a definition line whose arguments the context holds, with
    // its whole text, about to be compiled.
    virtual void OnCompile(Compiled, std::string_view /*text*/) {}
    // A command has been stored in a part or a macro, where it stays for the
    // song's life; its source says where it was written.
    virtual void OnEmit(const song::Command& /*stored*/) {}
};

// The text a rule matched, for an observer: a view of the compiled text when
// the grammar runs over plain character pointers, otherwise a copy.
template <typename Iterator>
auto MatchedText(Iterator first, Iterator last) {
    if constexpr (std::is_same_v<Iterator, const char*>) {
        return std::string_view(first, static_cast<std::size_t>(last - first));
    } else {
        return std::string(first, last);
    }
}

// One per compile: created by the compiler, bound to the grammar and to every
// action object in it, discarded when the compile ends. The song is not owned
// and outlives the context.
struct CompileContext {
    explicit CompileContext(song::Song& target) : song(&target) {}

    std::vector<std::string> args;  // argument texts of the current command or definition
    song::Song* song;               // the song being built
    int32_t line = 1;               // 1-based number of the line being compiled
    int32_t lineKind = kPartLine;   // a LineKind; set by every line's leading syntax
    int32_t part = 0;               // part 0..5 on part lines, operator 0..3 on op lines
    char command = 0;               // the character that opened the command, letters upper case
    char commandPrefix = 0;         // '!' before that letter in an extension's command, else 0
    Extension extension{};          // the extension whose command is being compiled, after a '!'
    std::string macroName;          // the macro a str line fills
    song::CommandList* macroList = nullptr;  // that macro's list once the line has added to it;
                                             // cleared with every new macro name
    song::FMVoice workVoice{};               // the voice being defined; never cleared
    int32_t soundNumber = 0;                 // where lfo and op lines store the work voice;
                                             // 0 until the first sound line
    CompileObserver* observer = nullptr;     // not owned; may stay null
    // Where the command being compiled starts, when the grammar runs over
    // plain character pointers (as the compiler does); null before the first.
    // A fault raised while compiling a command is placed there.
    const char* commandStart = nullptr;
    const char* commandEnd = nullptr;  // and where it ends
    // The first byte of the text as the caller gave it, from which a stored
    // command's source counts; null (as for a text beyond the 4 GiB that a
    // source counts): commands are stored without a source. Set only when
    // the grammar runs over the text's own characters.
    const char* textBegin = nullptr;
    std::vector<ExtensionUse> extensions;  // every use of an extension, in text order
    // Loops each part's lines have opened and not yet closed, for the check
    // that a loop break on a part line stands inside one.
    std::array<int32_t, song::kPartCount> openLoops{};

    // Notes a use of an extension written from `first` to `last` (pointers
    // into the compiled text; without textBegin the use keeps offset 0).
    template <typename Iterator>
    void UseExtension(Extension kind, Iterator first, Iterator last) {
        ExtensionUse use{kind};
        if constexpr (std::is_same_v<Iterator, const char*>) {
            if (textBegin != nullptr) {
                use.offset = static_cast<uint32_t>(first - textBegin);
                use.length = static_cast<uint32_t>(last - first);
            }
        }
        extensions.push_back(use);
    }

    // Routes a compiled command by the line kind: part lines append it to the
    // current part, macro lines to the current macro; other kinds drop it.
    // The stored command's source is commandStart to commandEnd.
    void Emit(const song::Command& compiled);

    // The text as a whole decimal integer with an optional sign; anything else
    // (empty, blanks, a dot, a value beyond 32 bits) gives 0.
    static int32_t ToInt(std::string_view text);

    // A note length in ticks (64 to the whole note): "" gives 0 (no length),
    // n gives 64 / n, a trailing dot adds half of that, and n <= 0 or n > 64
    // gives 64. Text that is not an integer once its one trailing dot is removed
    // throws boost::bad_lexical_cast.
    static int32_t ParseLength(std::string_view text);
};

}  // namespace Tarsel
