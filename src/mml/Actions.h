#pragma once
// The semantic actions that the grammar attaches to its rules. Each is a small
// function object bound to the compile context; the parser calls it with the
// matched character or with the first and last position of the matched text
// (blanks skipped before the match excluded). The text forms are templates so
// that the actions work with whatever iterator the grammar runs over.
//
// Order on a part line: SetChNumber on the part digit, BeginLine<0> on the
// colon, then per command BeginCommand, PushArg for each argument text, and
// ProcessNote, ProcessCtrl or ProcessCall last.

#include <string>
#include <type_traits>

#include "mml/CompileContext.h"

namespace Tarsel {

// A line's leading syntax matched: starts a line of kind N (a LineKind).
template <int N>
struct BeginLine {
    CompileContext* ctx;
    template <typename Iterator>
    void operator()(Iterator first, Iterator last) const {
        if (ctx->observer) ctx->observer->OnLineStart(LineKind(N), MatchedText(first, last));
        ctx->args.clear();
        ctx->lineKind = N;
    }
};

// Adds one to a counter for each line end consumed; the matched text is ignored.
template <typename Counter>
struct Increment {
    Counter* counter;
    template <typename Iterator>
    void operator()(Iterator, Iterator) const {
        ++*counter;
    }
};

// The digit of a part line (1-6) or of an op line (1-4): part = digit - 1.
struct SetChNumber {
    CompileContext* ctx;
    void operator()(char digit) const {
        if (ctx->observer) ctx->observer->OnDigit(digit);
        ctx->part = digit - '1';
    }
};

// The character that opens a command (letters arrive lower case): clears the
// argument list and remembers the command, letters in upper case.
struct BeginCommand {
    CompileContext* ctx;
    void operator()(char c) const {
        if (ctx->observer) ctx->observer->OnCommandStart(c);
        ctx->args.clear();
        ctx->command = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
        ctx->commandPrefix = 0;
    }
};

// The letter after a '!' (lower case): as BeginCommand, for the command of
// extension K written "!" and that letter.
template <Extension K>
struct BeginExtendedCommand {
    CompileContext* ctx;
    void operator()(char c) const {
        BeginCommand{ctx}(c);
        ctx->commandPrefix = '!';
        ctx->extension = K;
    }
};

// The "__" that opens a transposition step: like BeginCommand, with the
// step's code as the command.
struct BeginTransposeStep {
    CompileContext* ctx;
    template <typename Iterator>
    void operator()(Iterator, Iterator) const {
        if (ctx->observer) ctx->observer->OnCommandStart('_');
        ctx->args.clear();
        ctx->command = '^';
        ctx->commandPrefix = 0;
    }
};

// Appends an argument text, possibly empty, to the argument list.
struct PushArg {
    CompileContext* ctx;
    template <typename Iterator>
    void operator()(Iterator first, Iterator last) const {
        if (ctx->observer) ctx->observer->OnArgument(MatchedText(first, last));
        ctx->args.emplace_back(first, last);
    }
};

// The name on a str line: the macro that the line's commands extend.
struct SetMacroName {
    CompileContext* ctx;
    template <typename Iterator>
    void operator()(Iterator first, Iterator last) const {
        if (ctx->observer) ctx->observer->OnMacroName(MatchedText(first, last));
        ctx->macroName.assign(first, last);
        ctx->macroList = nullptr;
    }
};

// The actions that compile what the argument list holds. The matched text
// only reaches the observer (as what the action compiles); the work is done
// by Run on the context.
#define VELNARI_COMPILE_ACTION(Name, What)                                               \
    struct Name {                                                                        \
        CompileContext* ctx;                                                             \
        template <typename Iterator>                                                     \
        void operator()(Iterator first, Iterator last) const {                           \
            if (ctx->observer) ctx->observer->OnCompile(What, MatchedText(first, last)); \
            if constexpr (std::is_same_v<Iterator, const char*>) {                       \
                ctx->commandStart = first;                                               \
                ctx->commandEnd = last;                                                  \
            }                                                                            \
            Run(*ctx);                                                                   \
        }                                                                                \
        static void Run(CompileContext& ctx);                                            \
    }

// A note: args = {accidental "+", "-" or "", length text}; emits "#"
// (semitone above C, length in ticks or 0).
VELNARI_COMPILE_ACTION(ProcessNote, Compiled::kNote);
// A control command: looked up in the control table by `command`; a letter
// without a row or a wrong argument count compiles to nothing. "T" sets the
// song's tempo instead of emitting.
VELNARI_COMPILE_ACTION(ProcessCtrl, Compiled::kControl);
// A command of the language's extensions (":", "_", "__", "(", ")"): noted
// as such, checked where a fault of its own can stop the compile (a ":" on
// a part line outside any loop, a sign after "(" or ")"), then compiled from
// its row as ProcessCtrl does; "(" and ")" without a count step by 1.
VELNARI_COMPILE_ACTION(ProcessExtension, Compiled::kControl);
// A control command written "!" and a letter: notes the use of its extension
// with the command's whole text, then compiles it as ProcessCtrl does.
struct ProcessExtendedCtrl {
    CompileContext* ctx;
    template <typename Iterator>
    void operator()(Iterator first, Iterator last) const {
        ctx->UseExtension(ctx->extension, first, last);
        ProcessCtrl{ctx}(first, last);
    }
};
// A macro call: args = {name}; emits "$" with the name.
VELNARI_COMPILE_ACTION(ProcessCall, Compiled::kCall);
// An op line: ten values into operator `part` of the work voice, then stores it.
VELNARI_COMPILE_ACTION(ProcessOP, Compiled::kOpLine);
// An lfo line: five values (three lfo, connection, feedback) into the work voice,
// then stores it.
VELNARI_COMPILE_ACTION(ProcessLFO, Compiled::kLfoLine);
// An ssgenv line: number, step length and levels; fewer than three items define
// nothing.
VELNARI_COMPILE_ACTION(ProcessSSGEnv, Compiled::kEnvelopeLine);

#undef VELNARI_COMPILE_ACTION

// A tag line: args = {keyword as written, text with the blanks before it
// skipped}; fills the song's tag and notes the line as a use of an extension.
struct ProcessTag {
    CompileContext* ctx;
    template <typename Iterator>
    void operator()(Iterator first, Iterator last) const {
        if constexpr (std::is_same_v<Iterator, const char*>) {
            while (last != first && (last[-1] == ' ' || last[-1] == '\t')) --last;
        }
        if (ctx->observer) ctx->observer->OnCompile(Compiled::kTagLine, MatchedText(first, last));
        ctx->UseExtension(Extension::kTag, first, last);
        Run(*ctx);
    }
    static void Run(CompileContext& ctx);
};

}  // namespace Tarsel
