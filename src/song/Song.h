#pragma once
// The compiled piece: six part command lists, named macros, FM voices, SSG
// envelopes, the tempo and the tags. The compiler fills it in source order; afterwards
// it is only read, so one compiled song can be shared, read-only, by any
// number of engines playing it.

#include <array>
#include <cstdint>
#include <map>
#include <string>

#include "song/Command.h"
#include "song/FMVoice.h"
#include "song/SSGEnvelope.h"
#include "song/Tags.h"

namespace song {

// Parts 0-2 play on FM channels 1-3, parts 3-5 on SSG channels A-C; the source
// numbers them 1 to 6.
inline constexpr int kPartCount = 6;
inline constexpr int kFMPartCount = 3;

// The YM2203's clock on the machines the songs are written for, in Hz: the
// driver's pitch tables, the chip's set-up and the register logs assume it.
inline constexpr uint32_t kChipClock = 3993600;

class Song {
  public:
    static constexpr int32_t kDefaultTempo = 120;

    using VoiceMap = std::map<int32_t, FMVoice>;
    using EnvelopeMap = std::map<int32_t, SSGEnvelope>;
    using MacroMap = std::map<std::string, CommandList>;  // names compared bytewise

    // Appends a command to a part (0..5). The first command of a part frames
    // the list with an endless-loop "{" (count 0) and a closing "}"; every
    // command lands just before that "}". Returns the stored command, for the
    // compiler to note where it was written.
    Command& AddToPart(int part, const Command& command);

    // Appends a command to a macro, creating the macro with its closing "%"
    // on its first command; every command lands just before that "%". Returns
    // the macro's list, which stays valid for the song's life, so a caller
    // appending many commands to one macro can skip the name look-up.
    CommandList& AddToMacro(const std::string& name, const Command& command);

    // Appends a command to a macro list that AddToMacro returned; returns
    // the stored command.
    static Command& AppendToMacro(CommandList& macro, const Command& command);

    bool IsPartUsed(int part) const { return used_[Index(part)]; }

    // Position of the part's first command; the end of the (empty) list when
    // the part is not used.
    CommandList::const_iterator PartBegin(int part) const { return parts_[Index(part)].begin(); }

    bool HasMacro(const std::string& name) const { return macros_.count(name) != 0; }

    // Position of the macro's first command. The macro must exist (HasMacro).
    CommandList::const_iterator MacroBegin(const std::string& name) const;

    void SetTempo(int32_t tempo) { tempo_ = tempo; }
    int32_t GetTempo() const { return tempo_; }
    // Whether any list holds a tempo change ("!t"): a song without one keeps
    // the tempo of GetTempo from its first tick to its last.
    void NoteTempoChange() { changesTempo_ = true; }
    bool ChangesTempo() const { return changesTempo_; }

    // The tag lines' text: title, composer, date and notes.
    void SetTags(const Tags& tags) { tags_ = tags; }
    const Tags& GetTags() const { return tags_; }

    // Stores a copy under the number, replacing any earlier value whole.
    void SetVoice(int32_t number, const FMVoice& voice) { voices_[number] = voice; }
    void SetSSGEnvelope(int32_t number, const SSGEnvelope& envelope) {
        ssgEnvelopes_[number] = envelope;
    }

    // The voice or envelope under a number; for a number never defined, the
    // default (an all-zero voice; step length 64 with the single level 15).
    // Looking up changes nothing.
    const FMVoice& GetVoice(int32_t number) const;
    const SSGEnvelope& GetSSGEnvelope(int32_t number) const;

    // Read-only views for tools that inspect a song without playing it.
    const CommandList& Part(int part) const { return parts_[Index(part)]; }
    const MacroMap& Macros() const { return macros_; }
    const VoiceMap& Voices() const { return voices_; }
    const EnvelopeMap& SSGEnvelopes() const { return ssgEnvelopes_; }

  private:
    static std::size_t Index(int part);

    VoiceMap voices_;
    EnvelopeMap ssgEnvelopes_;
    MacroMap macros_;
    std::array<CommandList, kPartCount> parts_;
    std::array<bool, kPartCount> used_{};
    int32_t tempo_ = kDefaultTempo;
    bool changesTempo_ = false;
    Tags tags_;
};

}  // namespace song
