#include "mml/PartWalk.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "sequencer/Pitch.h"
#include "song/CommandTable.h"

// Deliberate choices:
// - The walk plays each part's own loop twice (what the second pass starts
//   with can differ: a detune set at the end of the first) and at most
//   kStepLimit commands; a part that runs longer has shown what it does.
// - A command met many times (in a loop, in a macro called from several
//   parts) is flagged once per kind; a macro called from an FM and an SSG
//   part is checked on both.
// - The SSG pitch check uses the driver's own period table and rounding, so
//   it flags exactly the notes whose tone period leaves the chip's 12 bits.
// - Portamento between two notes the chip can play stays within their
//   periods, so only detune and vibrato can take a pitch out of range.

namespace Tarsel {

namespace {

namespace code = song::code;
using song::Command;
using song::CommandList;

constexpr int kStepLimit = 200000;
constexpr std::size_t kMaxNesting = 256;  // the sequencer's limit on calls and open loops
constexpr int32_t kLargestTonePeriod = 0xFFF;
constexpr double kSSGToneClock = 3993600.0 / 32.0;  // Hz times the tone period

struct Cursor {
    CommandList::const_iterator at;
    CommandList::const_iterator end;
};

struct Loop {
    Cursor start;
    int32_t remaining;  // 0: endless
};

std::string PartName(int part) {
    return "part " + std::to_string(part + 1);
}

std::string Hertz(int32_t period) {
    char text[32];
    std::snprintf(text, sizeof text, "%.0f Hz", kSSGToneClock / std::max(period, 1));
    return text;
}

// What a part's walk carries from command to command.
class PartWalker {
  public:
    PartWalker(const song::Song& song, const CommandPlaces& places, WarningSink& sink, int part)
        : song_(song),
          places_(places),
          sink_(sink),
          part_(part),
          isFM_(part < song::kFMPartCount) {}

    void Run() {
        const CommandList& list = song_.Part(part_);
        Cursor p{list.begin(), list.end()};
        for (int steps = 0; steps < kStepLimit && p.at != p.end; ++steps) {
            const Command& cmd = *p.at;
            ++p.at;
            if (!Flow(cmd, p)) break;
        }
        if (!advanced_) {
            sink_.Add(Warning::Kind::kSilent, FirstPlace(list),
                      PartName(part_) +
                          " has no note, rest or wait that it reaches: it plays "
                          "nothing");
        }
    }

  private:
    SourcePlace PlaceOf(const Command& cmd) const {
        const auto it = places_.find(&cmd);
        return it != places_.end() ? it->second : SourcePlace{};
    }

    SourcePlace FirstPlace(const CommandList& list) const {
        for (const Command& cmd : list) {
            const SourcePlace place = PlaceOf(cmd);
            if (place.line != 0) return place;
        }
        return {};
    }

    // Moves `p` as the sequencer's flow would; false when the part ends here.
    bool Flow(const Command& cmd, Cursor& p) {
        switch (cmd.code) {
            case code::kCall: {
                const auto& macros = song_.Macros();
                const auto macro = macros.find(cmd.text);
                if (macro == macros.end()) return true;  // flagged where the call is written
                // Map keys are unique, so a macro is known by its key's address:
                // no name is compared, however long.
                const std::string* name = &macro->first;
                const auto active = std::find(calls_.begin(), calls_.end(), name);
                if (active != calls_.end()) {
                    std::string through;
                    for (auto it = std::next(active); it < calls_.end(); ++it) {
                        through += (through.empty() ? " through '" : "', '") + **it;
                    }
                    if (!through.empty()) through += "'";
                    sink_.Add(Warning::Kind::kRecursiveMacro, PlaceOf(cmd),
                              "macro '" + cmd.text + "' calls itself" + through +
                                  ": a part that plays it stops once calls nest 256 deep");
                    return false;
                }
                if (returns_.size() >= kMaxNesting) {
                    sink_.Add(
                        Warning::Kind::kRecursiveMacro, PlaceOf(cmd),
                        "macro calls nest more than 256 deep here: " + PartName(part_) + " stops");
                    return false;
                }
                returns_.push_back(p);
                calls_.push_back(name);
                p = {macro->second.begin(), macro->second.end()};
                return true;
            }
            case code::kReturn:
                if (returns_.empty()) return false;
                p = returns_.back();
                returns_.pop_back();
                calls_.pop_back();
                return true;
            case code::kLoopOpen:
                if (loops_.size() >= kMaxNesting) return false;
                loops_.push_back({p, std::max(cmd.arg[0], 0)});
                return true;
            case code::kLoopClose: {
                if (loops_.empty()) return false;
                Loop& loop = loops_.back();
                if (loop.remaining != 0) {
                    if (--loop.remaining == 0) {
                        loops_.pop_back();
                    } else {
                        p = loop.start;
                    }
                    return true;
                }
                // An endless loop that closes again without time passing ends
                // the part, as it does in the sequencer; two passes are enough.
                if (endlessCloses_ > 0 && !advancedSinceClose_) return false;
                if (++endlessCloses_ > 2) return false;
                advancedSinceClose_ = false;
                p = loop.start;
                return true;
            }
            default:
                Execute(cmd);
                return true;
        }
    }

    void Execute(const Command& cmd) {
        const auto& a = cmd.arg;
        switch (cmd.code) {
            case code::kNote:
                Advance();
                Note(cmd);
                break;
            case code::kRest:
            case code::kWait:
                Advance();
                break;
            case code::kLength:
                defaultLength_ = a[0];
                break;
            case code::kOctave:
                octave_ = std::clamp(a[0], 1, 8);
                break;
            case code::kOctaveDown:
                octave_ = std::max(octave_ - 1, 0);
                break;
            case code::kOctaveUp:
                octave_ = std::min(octave_ + 1, 8);
                break;
            case code::kDetune:
                detune_ = a[0];
                detunePlace_ = PlaceOf(cmd);
                break;
            case code::kPortamento:
                portamento_ = a[0] > 0;
                vibPeriod_ = 0;
                break;
            case code::kVibrato:
                vibDepth_ = a[0];
                vibPeriod_ = std::max(a[1], 0);
                vibDelay_ = std::max(a[2], 0);
                vibPlace_ = PlaceOf(cmd);
                portamento_ = false;
                break;
            case code::kTremolo:
                vibPeriod_ = 0;
                portamento_ = false;
                break;
            case code::kVoice:
                Select(cmd);
                break;
            case code::kEnvelopeShape:
            case code::kEnvelopePeriod:
                if (isFM_) {
                    sink_.Add(Warning::Kind::kWrongPart, PlaceOf(cmd),
                              std::string("'") + static_cast<char>(std::tolower(cmd.code)) +
                                  "' acts on the SSG parts (4-6) only: on " + PartName(part_) +
                                  " it does nothing");
                } else if (!hardware_) {
                    hardware_ = true;
                    hardwarePlace_ = PlaceOf(cmd);
                }
                break;
            default:
                break;
        }
    }

    void Advance() {
        advanced_ = true;
        advancedSinceClose_ = true;
    }

    void Select(const Command& cmd) {
        const int32_t number = cmd.arg[0];
        if (isFM_) {
            voiceSelected_ = true;
            if (song_.Voices().count(number) == 0) {
                sink_.Add(Warning::Kind::kUndefinedVoice, PlaceOf(cmd),
                          "voice " + std::to_string(number) + " is not defined: " +
                              PartName(part_) + " is silent until '@' selects a defined voice");
            }
            return;
        }
        if (hardware_) {
            sink_.Add(Warning::Kind::kWrongPart, PlaceOf(cmd),
                      PartName(part_) + " plays the hardware envelope since line " +
                          std::to_string(hardwarePlace_.line) +
                          " ('m' or 's'), for the rest of the song: this software envelope is "
                          "not used");
        } else if (song_.SSGEnvelopes().count(number) == 0) {
            sink_.Add(Warning::Kind::kUndefinedEnvelope, PlaceOf(cmd),
                      "envelope " + std::to_string(number) +
                          " is not defined: the notes play at the part's plain volume");
        }
    }

    void Note(const Command& cmd) {
        if (isFM_) {
            if (!voiceSelected_) {
                sink_.Add(Warning::Kind::kUndefinedVoice, PlaceOf(cmd),
                          PartName(part_) +
                              " plays this note before any '@' selects a voice: "
                              "it is silent");
                voiceSelected_ = true;  // once per part
            }
            return;
        }
        namespace pitch = sequencer::pitch;
        const int32_t base = pitch::SSGPeriodFor(octave_, cmd.arg[0]);
        int32_t period = base;
        if (detune_ != 0) {
            period = pitch::RoundToRegister(pitch::PeriodFactor(detune_) * base);
            if (period == base) period = detune_ > 0 ? base - 1 : base + 1;
        }
        if (period > kLargestTonePeriod) {
            sink_.Add(Warning::Kind::kSSGPitchRange, PlaceOf(cmd),
                      "below the SSG's lowest tone with the detune n" + std::to_string(detune_) +
                          " (line " + std::to_string(detunePlace_.line) + "): the tone period " +
                          std::to_string(period) + " is cut to 12 bits, " +
                          std::to_string(period & kLargestTonePeriod) + ", a high tone (" +
                          Hertz(period & kLargestTonePeriod) + ")");
            return;
        }
        if (portamento_ || vibPeriod_ == 0 || vibDepth_ == 0) return;
        // The vibrato lowers the pitch by its depth in the second half-period
        // after its delay (in the first, for a negative depth).
        const int32_t length = cmd.arg[1] != 0 ? cmd.arg[1] : defaultLength_;
        const int64_t lowFrom = int64_t{vibDelay_} + (vibDepth_ > 0 ? vibPeriod_ : 0);
        if (length <= lowFrom) return;
        const int32_t lowest = pitch::RoundToRegister(
            pitch::PeriodFactor(-static_cast<int64_t>(std::abs(int64_t{vibDepth_}))) * period);
        if (lowest > kLargestTonePeriod) {
            sink_.Add(Warning::Kind::kSSGPitchRange, PlaceOf(cmd),
                      "the vibrato (line " + std::to_string(vibPlace_.line) +
                          ") takes this note below the SSG's lowest tone: the tone period " +
                          std::to_string(lowest) + " is cut to 12 bits, " +
                          std::to_string(lowest & kLargestTonePeriod) + ", a high tone (" +
                          Hertz(lowest & kLargestTonePeriod) + ")");
        }
    }

    const song::Song& song_;
    const CommandPlaces& places_;
    WarningSink& sink_;
    const int part_;
    const bool isFM_;

    std::vector<Cursor> returns_;
    std::vector<const std::string*> calls_;  // the macros being played, outermost first
    std::vector<Loop> loops_;
    int endlessCloses_ = 0;
    bool advanced_ = false;
    bool advancedSinceClose_ = false;

    int32_t octave_ = 4;
    int32_t defaultLength_ = 64;
    int32_t detune_ = 0;
    SourcePlace detunePlace_;
    bool portamento_ = false;
    int32_t vibDepth_ = 0;
    int32_t vibPeriod_ = 0;
    int32_t vibDelay_ = 0;
    SourcePlace vibPlace_;
    bool voiceSelected_ = false;
    bool hardware_ = false;
    SourcePlace hardwarePlace_;
};

// A suggestion for a call whose name is not defined: a macro whose name
// differs only in letter case or blanks.
std::string NearName(const song::Song& song, const std::string& name) {
    const auto folded = [](const std::string& text) {
        std::string out;
        for (const char c : text) {
            if (c == ' ' || c == '\t') continue;
            out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        return out;
    };
    const std::string wanted = folded(name);
    for (const auto& [defined, list] : song.Macros()) {
        if (folded(defined) == wanted) return defined;
    }
    return {};
}

// Checks of one list as written: its loop brackets, its ties, what follows an
// endless loop and the macros it calls. `framed`: a part's list, whose first
// and last commands are the part's own loop.
void CheckList(const song::Song& song, const CommandList& list, bool isPart,
               const std::string& owner, const CommandPlaces& places, WarningSink& sink) {
    std::vector<const Command*> open;
    const Command* previous = nullptr;
    const Command* endlessClose = nullptr;  // the close of an endless loop at the list's level
    bool reported = false;
    for (const Command& cmd : list) {
        const auto found = places.find(&cmd);
        if (found == places.end()) continue;  // the frame or the macro's end
        const SourcePlace place = found->second;
        if (endlessClose != nullptr && !reported) {
            reported = true;
            sink.Add(Warning::Kind::kUnreachable, place,
                     "never played: the endless loop before it (line " +
                         std::to_string(places.at(endlessClose).line) + ") never ends");
        }
        switch (cmd.code) {
            case code::kLoopOpen:
                open.push_back(&cmd);
                break;
            case code::kLoopClose:
                if (open.empty()) {
                    sink.Add(Warning::Kind::kLoop, place,
                             isPart ? "'}' without its '{': it closes " + owner +
                                          "'s own endless loop, so the part starts again from its "
                                          "beginning here and never plays what follows"
                                    : "'}' without its '{' in macro '" + owner +
                                          "': it closes a loop of whatever part calls the macro, "
                                          "or that part's own endless loop");
                } else {
                    if (open.back()->arg[0] <= 0 && open.size() == 1) endlessClose = &cmd;
                    open.pop_back();
                }
                break;
            case code::kTie:
                if ((previous == nullptr && isPart) ||
                    (previous != nullptr && previous->code != code::kNote &&
                     previous->code != code::kLoopOpen && previous->code != code::kLoopClose &&
                     previous->code != code::kCall)) {
                    sink.Add(Warning::Kind::kTie, place,
                             "'&' does not follow a note: it ties nothing");
                }
                break;
            case code::kCall:
                if (!song.HasMacro(cmd.text)) {
                    const std::string near = NearName(song, cmd.text);
                    sink.Add(Warning::Kind::kUndefinedMacro, place,
                             "macro '" + cmd.text + "' is not defined: the call plays nothing" +
                                 (near.empty() ? "" : " (did you mean '" + near + "'?)"));
                }
                break;
            default:
                break;
        }
        previous = &cmd;
    }
    for (const Command* loop : open) {
        const bool counted = loop->arg[0] > 0;
        sink.Add(Warning::Kind::kLoop, places.at(loop),
                 "'{' is never closed" +
                     std::string(isPart ? (counted ? ": the part's end closes it, and after its "
                                                     "passes the part stops"
                                                   : ": the part's end closes it")
                                        : " in macro '" + owner + "'"));
    }
}

}  // namespace

void WalkParts(const song::Song& song, const CommandPlaces& places, WarningSink& sink) {
    bool anyUsed = false;
    for (int part = 0; part < song::kPartCount; ++part) {
        if (!song.IsPartUsed(part)) continue;
        anyUsed = true;
        CheckList(song, song.Part(part), true, PartName(part), places, sink);
        PartWalker(song, places, sink, part).Run();
    }
    for (const auto& [name, list] : song.Macros()) {
        CheckList(song, list, false, name, places, sink);
    }
    if (!anyUsed) sink.Add(Warning::Kind::kSilent, {}, "no part line: the song plays nothing");
}

}  // namespace Tarsel
