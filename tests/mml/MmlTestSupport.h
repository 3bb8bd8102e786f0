#pragma once
// Shared helpers of the compiler tests: texts compiled in memory, and the
// grammar run alone with an observer of its actions.

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "mml/Compile.h"
#include "mml/MMLParser.h"
#include "song/Song.h"

using song::Song;
using Tarsel::CompileContext;
using Tarsel::CompileObserver;

namespace mmltest {

// The outcome of compiling a text named "FILE".
struct Compiled {
    std::shared_ptr<const Song> song;
    std::vector<std::string> messages;  // the fault's message, if any
    std::optional<Tarsel::CompileFault> fault;
};

inline Compiled CompileText(std::string_view text) {
    Tarsel::CompileResult result = Tarsel::Compile(text, "FILE");
    Compiled compiled;
    compiled.song = std::move(result.song);
    compiled.fault = std::move(result.fault);
    if (compiled.fault) compiled.messages.push_back(compiled.fault->message);
    return compiled;
}

// Records what the observer is told as "Action(text)", named for the grammar's
// actions, in order.
class ActionRecorder : public CompileObserver {
  public:
    void OnLineStart(Tarsel::LineKind, std::string_view text) override { Add("BeginLine", text); }
    void OnDigit(char c) override { Add("SetChNumber", {&c, 1}); }
    void OnCommandStart(char c) override { Add("BeginCommand", {&c, 1}); }
    void OnArgument(std::string_view text) override { Add("PushArg", text); }
    void OnMacroName(std::string_view text) override { Add("SetMacroName", text); }
    void OnCompile(Tarsel::Compiled what, std::string_view text) override {
        static constexpr const char* kNames[] = {"ProcessNote", "ProcessCtrl", "ProcessCall",
                                                 "ProcessOP",   "ProcessLFO",  "ProcessSSGEnv"};
        Add(kNames[static_cast<int>(what)], text);
    }
    std::vector<std::string> calls;

  private:
    void Add(const char* action, std::string_view text) {
        calls.push_back(std::string(action) + "(" + std::string(text) + ")");
    }
};

// Parses the text line by line with the grammar alone, over plain character
// pointers as the compiler does, and reports what happened.
struct GrammarRun {
    std::vector<std::string> calls;
    bool hit = true;   // every line parsed
    std::string rest;  // on a miss, the text from the stop position
    int32_t line = 0;  // the line counter at the end
    int32_t soundNumber = 0;
    std::vector<std::string> args;  // args left after the last action
    std::string exception;          // what() of an exception an action threw
};

inline GrammarRun RunGrammar(std::string_view text) {
    Song song;
    CompileContext context(song);
    ActionRecorder recorder;
    context.observer = &recorder;
    const Tarsel::MMLParser grammar(context);
    GrammarRun run;
    const char* first = text.data();
    const char* const last = first + text.size();
    try {
        while (first != last) {
            const auto result = Tarsel::ParseLine(first, last, grammar);
            if (!result.hit) {
                run.hit = false;
                run.rest.assign(result.stop, last);
                break;
            }
            first = result.stop;
        }
    } catch (const std::exception& e) {
        run.hit = false;
        run.exception = e.what();
    }
    run.calls = recorder.calls;
    run.line = context.line;
    run.soundNumber = context.soundNumber;
    run.args = context.args;
    return run;
}

}  // namespace mmltest
