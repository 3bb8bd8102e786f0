#pragma once
// The first half of the warnings pass: an observer of the compile that checks
// each command and definition line as it is compiled, while its text and
// arguments are at hand (argument counts, values out of range, definitions
// that are short, incomplete or repeated, tempos, tag lines).

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "mml/CompileContext.h"
#include "mml/SourceLines.h"
#include "mml/WarningSink.h"

namespace Tarsel {

class LineChecker : public CompileObserver {
  public:
    explicit LineChecker(WarningSink& sink) : sink_(sink) {}

    void OnCompileStart(const CompileContext& context, std::string_view source) override;
    void OnLineStart(LineKind kind, std::string_view syntax) override;
    void OnCommandStart(char c) override;
    void OnArgument(std::string_view text) override;
    void OnCompile(Compiled what, std::string_view text) override;

    // Ends the checks that wait for later lines; call once the compile has
    // succeeded.
    void Finish();

    // The lines of the text compiled, once the compile has started.
    const SourceLines& Lines() const { return lines_; }

  private:
    struct VoiceBlock {
        int32_t number = 0;
        SourcePlace place;
        unsigned linesSeen = 0;  // bit 0: lfo, bits 1-4: op1-op4
    };
    struct Tempo {
        int32_t value;
        SourcePlace place;
    };

    void CheckControl(std::string_view text);
    void CheckNote(std::string_view text);
    void CheckVoiceLine(bool isOp, std::string_view text);
    void CheckEnvelope(std::string_view text);
    void CheckTag(std::string_view text);
    void CheckWholeNumbers(std::size_t from);
    void CheckLength(std::string_view length, SourcePlace place, bool isRest);
    void ResolveSoundLine();
    void CloseVoiceBlock();
    // Where a pointer into the compiled text stands, with the text there of
    // `length` bytes (cut at the line's end).
    SourcePlace PlaceOf(const char* at, std::size_t length = 0) const;
    SourcePlace ArgPlace(std::size_t i) const;

    WarningSink& sink_;
    const CompileContext* context_ = nullptr;
    SourceLines lines_;
    std::vector<std::string_view> argTexts_;  // the current command's or line's arguments
    const char* pendingSoundLine_ = nullptr;  // a sound line whose number is not read yet
    bool inVoiceBlock_ = false;
    VoiceBlock voice_;
    std::map<int32_t, SourcePlace> voicesDefined_;
    std::map<int32_t, SourcePlace> envelopesDefined_;
    std::vector<Tempo> tempos_;
    std::map<std::string, SourcePlace> tagsGiven_;  // keyword in lower case: its last line
};

}  // namespace Tarsel
