#pragma once
// The first half of the warnings pass: an observer of the compile that notes
// where every stored command was written and checks each command and
// definition line as it is compiled, while its text and arguments are at
// hand (argument counts, values out of range, definitions that are short,
// incomplete or repeated, tempos).

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "mml/CompileContext.h"
#include "mml/WarningSink.h"

namespace Tarsel {

class SourceRecorder : public CompileObserver {
  public:
    explicit SourceRecorder(WarningSink& sink) : sink_(sink) {}

    void OnCompileStart(const CompileContext& context, std::string_view source) override;
    void OnLineStart(LineKind kind, std::string_view syntax) override;
    void OnCommandStart(char c) override;
    void OnArgument(std::string_view text) override;
    void OnCompile(Compiled what, std::string_view text) override;
    void OnEmit(const song::Command& stored) override;

    // Ends the checks that wait for later lines; call once the compile has
    // succeeded.
    void Finish();

    const CommandPlaces& Places() const { return places_; }

    // Where a pointer into the compiled text stands, with the text there of
    // `length` bytes (cut at the line's end).
    SourcePlace PlaceOf(const char* at, std::size_t length = 0) const;

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
    void CheckWholeNumbers(std::size_t from);
    void CheckLength(std::string_view length, SourcePlace place, bool isRest);
    void ResolveSoundLine();
    void CloseVoiceBlock();
    SourcePlace ArgPlace(std::size_t i) const;

    WarningSink& sink_;
    const CompileContext* context_ = nullptr;
    std::string_view source_;
    std::vector<std::size_t> lineStarts_;  // byte offset of each line's start
    CommandPlaces places_;
    std::vector<std::string_view> argTexts_;  // the current command's or line's arguments
    const char* pendingSoundLine_ = nullptr;  // a sound line whose number is not read yet
    bool inVoiceBlock_ = false;
    VoiceBlock voice_;
    std::map<int32_t, SourcePlace> voicesDefined_;
    std::map<int32_t, SourcePlace> envelopesDefined_;
    std::vector<Tempo> tempos_;
};

}  // namespace Tarsel
