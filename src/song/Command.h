#pragma once
// One compiled command of a part or a macro, and the list that holds them.

#include <array>
#include <cstdint>
#include <list>
#include <span>
#include <string>

namespace song {

// Where a command was written: a run of bytes of the text it was compiled
// from, counted from the text's first byte (a byte-order mark included). A
// command inside a macro was written in the macro's definition; the calls
// that reached it are commands of their own. A command nobody wrote (the loop
// that frames a part, the return that ends a macro) has length 0.
struct SourceSpan {
    uint32_t offset = 0;
    uint32_t length = 0;

    bool Known() const { return length != 0; }
};

// A command as the sequencer reads it: a one-character code (song/CommandTable.h
// lists them), three integer arguments and, for a macro call, the macro's
// name, and where it was written. Control commands keep their arguments as
// written, lengths already in ticks; arguments a command does not use are 0.
struct Command {
    char code = 0;
    std::array<int32_t, 3> arg{};
    SourceSpan source;
    std::string text;

    Command() = default;

    // A code and up to three integers; the rest are 0.
    explicit Command(char code, int32_t a0 = 0, int32_t a1 = 0, int32_t a2 = 0)
        : code(code), arg{a0, a1, a2} {}

    // A code and a text (a macro call); all integers 0.
    Command(char code, std::string text) : code(code), text(std::move(text)) {}

    // A code and a run of integers: the first three are taken, missing ones are 0.
    Command(char code, std::span<const int32_t> values) : code(code) {
        for (std::size_t i = 0; i < arg.size() && i < values.size(); ++i) arg[i] = values[i];
    }

    // Two commands are equal when they do the same, wherever they were written.
    friend bool operator==(const Command& a, const Command& b) {
        return a.code == b.code && a.arg == b.arg && a.text == b.text;
    }
};

// An ordered run of commands whose positions stay valid while other entries
// are inserted: the sequencer keeps iterators into these lists.
using CommandList = std::list<Command>;

}  // namespace song
