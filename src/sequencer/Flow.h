#pragma once
// A part's flow: macro calls and returns, loops with their counts, the
// nesting limit and the places where a part's commands end. The sequencer
// plays along this walk and the warnings pass follows it with its checks;
// both see the same commands in the same order, because the rules exist
// only here.
//
// A walker passes hooks (a class with the members of FlowHooks, which it
// may derive from for the defaults): the walk is a template, so a hook that
// does nothing costs nothing and the sequencer's walk stays as cheap as code
// written inline.
//
// The rules:
//   - A call of an undefined macro is skipped.
//   - A "%" (a macro's end) returns to the command after the call; one with
//     no call pending ends the part.
//   - A "{" opens a loop of its count's passes; a count of 0 or less is
//     endless. A "}" closes the innermost open loop, wherever that was opened:
//     a "}" that goes back to a loop opened outside the macros now playing
//     leaves their returns pending. A "}" with no open loop ends the part.
//   - Calls pending, and loops open, are at most kMaxNesting each: the call
//     or "{" that would go deeper ends the part.
//   - Running off the end of a list ends the part.
//   - A ":" on the last pass of the innermost open loop leaves that loop:
//     the walk goes on through the commands after it, playing none of them,
//     to the "}" that closes the loop, and on after it. Loops opened on the
//     way are left at their own "}" at once; calls and returns are followed
//     as ever. On any other pass, in an endless loop and outside any loop,
//     ":" does nothing.
//   - When an endless loop closes, the walker decides whether it goes on
//     (the sequencer lets it close once per command run).

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

#include "song/Command.h"
#include "song/CommandTable.h"
#include "song/Song.h"

namespace sequencer {

// Macro calls pending, and loops open, at most, per part.
inline constexpr std::size_t kMaxNesting = 256;

// A position in a command list together with that list's end, so a walk can
// always tell when it has run off its list.
struct CommandCursor {
    song::CommandList::const_iterator at{};
    song::CommandList::const_iterator end{};

    bool AtEnd() const { return at == end; }
    CommandCursor Next() const { return {std::next(at), end}; }
};

// One open "{ ... }": where the next pass starts, how many passes remain
// (0 = endless) and how many macro returns were pending when it opened.
struct LoopFrame {
    CommandCursor start;
    int32_t remaining = 0;
    uint32_t returnDepth = 0;

    // The "{" that opened it: the command before its first.
    const song::Command& Open() const { return *std::prev(start.at); }
};

// Pending macro returns and open loops, innermost last. Vectors keep their
// capacity, so a part that enters and leaves macros and loops allocates only
// until it has reached its deepest nesting.
struct FlowStacks {
    std::vector<CommandCursor> returns;
    std::vector<LoopFrame> loops;
    // While a ":" leaves its loop: how many loops were open when it played
    // (the loop it leaves is the last of them); 0 otherwise.
    std::size_t leaving = 0;

    std::size_t Nesting() const { return returns.size() + loops.size(); }
};

// Hooks that add nothing to the flow. Returning false ends the part.
struct FlowHooks {
    // Before each command the walk looks at, flow or not.
    bool Step() { return true; }
    // A call of the defined macro `name` (the song's key), before it is entered.
    bool Call(const song::Command& /*call*/, const std::string& /*name*/) { return true; }
    // A "%" returning to its call.
    void Return() {}
    // The call or "{" that would nest deeper than kMaxNesting; the part ends.
    void TooDeep(const song::Command& /*at*/) {}
    // A "}" closing `loop`, before its count is taken.
    void Close(const song::Command& /*close*/, const LoopFrame& /*loop*/) {}
    // An endless loop's "}" about to go back to its start.
    bool Endless(const song::Command& /*close*/, const LoopFrame& /*loop*/) { return true; }
    // A "}" going back to its loop's start (after Endless for an endless one).
    void Back(const song::Command& /*close*/, const LoopFrame& /*loop*/) {}
    // A ":" played inside `loop`, the innermost one open (null: none is).
    void Break(const song::Command& /*colon*/, const LoopFrame* /*loop*/) {}
};

// Follows calls, returns and loop brackets from `p` and leaves `p` at the
// next command of any other kind. False when the part's commands have ended
// (`p` then says nothing); the caller decides when the part stops.
template <typename Hooks>
bool ResolveFlow(const song::Song& song, FlowStacks& stacks, CommandCursor& p, Hooks& hooks) {
    namespace code = song::code;
    for (;;) {
        if (p.AtEnd() || !hooks.Step()) return false;
        const song::Command& cmd = *p.at;
        switch (cmd.code) {
            case code::kCall: {
                const auto& macros = song.Macros();
                const auto it = macros.find(cmd.text);
                if (it == macros.end()) {
                    p = p.Next();
                    break;
                }
                if (!hooks.Call(cmd, it->first)) return false;
                if (stacks.returns.size() >= kMaxNesting) {
                    hooks.TooDeep(cmd);
                    return false;
                }
                stacks.returns.push_back(p.Next());
                p = {it->second.begin(), it->second.end()};
                break;
            }
            case code::kReturn:
                if (stacks.returns.empty()) return false;
                p = stacks.returns.back();
                stacks.returns.pop_back();
                hooks.Return();
                break;
            case code::kLoopOpen:
                if (stacks.loops.size() >= kMaxNesting) {
                    hooks.TooDeep(cmd);
                    return false;
                }
                p = p.Next();
                // A loop met while leaving another is left at its own "}".
                stacks.loops.push_back({p,
                                        stacks.leaving != 0 ? 1 : (cmd.arg[0] > 0 ? cmd.arg[0] : 0),
                                        static_cast<uint32_t>(stacks.returns.size())});
                break;
            case code::kLoopClose: {
                if (stacks.loops.empty()) return false;
                LoopFrame& loop = stacks.loops.back();
                hooks.Close(cmd, loop);
                if (loop.remaining != 0) {
                    if (--loop.remaining == 0) {
                        stacks.loops.pop_back();
                        if (stacks.loops.size() < stacks.leaving) stacks.leaving = 0;
                        p = p.Next();
                        break;
                    }
                } else if (!hooks.Endless(cmd, loop)) {
                    return false;
                }
                hooks.Back(cmd, loop);
                p = loop.start;
                break;
            }
            case code::kLoopBreak:
                p = p.Next();
                if (stacks.leaving != 0) break;
                hooks.Break(cmd, stacks.loops.empty() ? nullptr : &stacks.loops.back());
                if (!stacks.loops.empty() && stacks.loops.back().remaining == 1) {
                    stacks.leaving = stacks.loops.size();
                }
                break;
            default:
                if (stacks.leaving == 0) return true;
                p = p.Next();  // passed over on the way out of a loop
                break;
        }
    }
}

// Sees the commands a walk reaches, other than flow commands, in order.
class CommandObserver {
  public:
    virtual ~CommandObserver() = default;
    virtual void Reached(int part, const song::Command& cmd) = 0;
};

}  // namespace sequencer
