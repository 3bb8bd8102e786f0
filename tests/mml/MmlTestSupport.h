#pragma once
// Shared helpers of the compiler tests: songs are written to temporary files
// (the compiler reads files only) and compile messages are captured through
// the platform error reporter.

#include <gtest/gtest.h>

#include "mml/SpiritClassic.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "mml/MMLParser.h"
#include "platform/ErrorReporter.h"
#include "plugin/LoadSong.h"
#include "song/CompileContext.h"
#include "song/Song.h"
#include "support/ScratchFolder.h"

namespace mmltest {

// A song file in a scratch folder of its own, removed when the object goes.
class TempFile {
  public:
    explicit TempFile(std::string_view contents)
        : folder_("velnari-mml"), path_(folder_.Write("song.mml", contents)) {}

    const std::string& path() const { return path_; }

  private:
    testsupport::ScratchFolder folder_;
    std::string path_;
};

// Installs a reporter that records every message for the object's lifetime.
class CapturedErrors {
  public:
    CapturedErrors() {
        previous_ =
            platform::SetErrorReporter([this](std::string_view caption, std::string_view text) {
                captions.emplace_back(caption);
                texts.emplace_back(text);
            });
    }
    ~CapturedErrors() { platform::SetErrorReporter(previous_); }

    std::vector<std::string> captions;
    std::vector<std::string> texts;

  private:
    platform::ErrorReporter previous_;
};

// The outcome of compiling a text through LoadSong.
struct Compiled {
    std::unique_ptr<Song> song;
    std::vector<std::string> messages;  // with the file name replaced by "FILE"
};

inline Compiled CompileText(std::string_view text) {
    TempFile file(text);
    CapturedErrors errors;
    Compiled result;
    result.song = LoadSong(file.path().c_str());
    for (std::string message : errors.texts) {
        if (message.starts_with(file.path())) message.replace(0, file.path().size(), "FILE");
        result.messages.push_back(message);
    }
    return result;
}

// Records the actions as "Name(text)" in firing order.
class ActionRecorder : public CompileObserver {
  public:
    void OnAction(std::string_view action, std::string_view text) override {
        calls.push_back(std::string(action) + "(" + std::string(text) + ")");
    }
    std::vector<std::string> calls;
};

// Parses the text line by line with the grammar alone, over a mapped file as
// the loader does, and reports what happened.
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
    TempFile file(text);
    Song song;
    CompileContext context(song);
    ActionRecorder recorder;
    context.observer = &recorder;
    const Tarsel::MMLParser grammar(context);
    GrammarRun run;
    boost::spirit::classic::file_iterator<char> mapped(file.path());
    if (mapped) {
        const char* first = &*mapped;
        const char* const last = first + (mapped.make_end() - mapped);
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
    }
    run.calls = recorder.calls;
    run.line = context.line;
    run.soundNumber = context.soundNumber;
    run.args = context.args;
    return run;
}

}  // namespace mmltest
