#include "mml/PartWalk.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "sequencer/FMController.h"
#include "sequencer/Flow.h"
#include "sequencer/Pitch.h"
#include "song/CommandTable.h"
#include "text/Case.h"

// Deliberate choices:
// - The walk follows the sequencer's flow (sequencer/Flow.h), with the
//   sequencer's rule that an endless loop closes once per command run, so it
//   reaches the commands the sequencer plays, in their order. It adds its own
//   ends: it plays each part's own loop twice (what the second pass starts
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
constexpr int kSSGParts = song::kPartCount - song::kFMPartCount;
constexpr int32_t kLargestTonePeriod = 0xFFF;
constexpr double kSSGToneClock = song::kChipClock / 32.0;  // Hz times the tone period
constexpr int32_t kNoiseBit = 2;                           // of a '!p' value

using sequencer::LoopFrame;

// The "{" that a "}" closed from another list: a macro's "}" closing a loop
// of the part that called it, or the other way round.
using ClosedElsewhere = std::set<const Command*>;

// A macro call not yet returned from, beside the flow's return stack. A "}"
// that goes back to a loop start outside the macro leaves it as the
// sequencer does, with its return still pending: the walk is then no longer
// inside that macro.
struct PendingCall {
    const std::string* macro;  // the macro's key in the song's map
    bool left = false;
};

// The octaves '<' and '>' step through, from the command table.
constexpr song::ValueRange kOctaveSteps = song::RangeOf(code::kOctaveUp);

std::string NestingText() {
    return std::to_string(sequencer::kMaxNesting);
}

// The SSG's one hardware envelope as each part uses it, on the walk's clock.
// A setting is ordered by tick, then by part: the sequencer runs the parts
// of a tick in their order.
struct EnvelopeSetting {
    int64_t tick = -1;  // -1: never set
    int part = 0;
    int32_t value = 0;
    SourcePlace place;

    bool After(const EnvelopeSetting& other) const {
        return tick > other.tick || (tick == other.tick && part > other.part);
    }
};

struct HardwareNote {
    int64_t start;
    int64_t end;  // where its gate keys it off
    SourcePlace place;
    EnvelopeSetting period;  // the part's own latest 'm' and 's' at that time
    EnvelopeSetting shape;
};

// A note that sounds the noise, with the part's own latest '!w' then.
struct NoiseNote {
    int64_t start;
    int64_t end;
    SourcePlace place;
    EnvelopeSetting period;
};

// What a part does with the SSG's shared hardware envelope and noise.
struct EnvelopeUse {
    std::vector<EnvelopeSetting> periods;
    std::vector<EnvelopeSetting> shapes;
    std::vector<HardwareNote> notes;
    std::vector<EnvelopeSetting> noisePeriods;
    std::vector<NoiseNote> noiseNotes;
};

std::string PartName(int part) {
    return "part " + std::to_string(part + 1);
}

std::string Count(std::size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::string Hertz(int32_t period) {
    char text[32];
    std::snprintf(text, sizeof text, "%.0f Hz", kSSGToneClock / std::max(period, 1));
    return text;
}

// What a part's walk carries from command to command. Its hooks into the
// flow note what the flow does and end the walk where the warnings have
// seen enough.
class PartWalker : public sequencer::FlowHooks {
  public:
    // `horizon`: the part's endless loop goes on past its second pass until
    // the walk's clock reaches it. `envelope`: where the part's use of the
    // hardware envelope is noted, if anywhere.
    // `observer`: told each command the walk reaches.
    PartWalker(const song::Song& song, const CommandPlaces& places, WarningSink& sink, int part,
               ClosedElsewhere& closedElsewhere, int64_t horizon = 0,
               EnvelopeUse* envelope = nullptr, sequencer::CommandObserver* observer = nullptr)
        : song_(song),
          places_(places),
          sink_(sink),
          part_(part),
          isFM_(part < song::kFMPartCount),
          closedElsewhere_(closedElsewhere),
          horizon_(horizon),
          envelope_(envelope),
          observer_(observer) {}

    // The walk's clock when it ended.
    int64_t Ticks() const { return tick_; }

    void Run() {
        const CommandList& list = song_.Part(part_);
        sequencer::CommandCursor p{list.begin(), list.end()};
        while (sequencer::ResolveFlow(song_, flow_, p, *this)) {
            if (runEndsAfterFlow_) {
                runEndsAfterFlow_ = false;
                closedThisRun_ = false;
            }
            const Command& cmd = *p.at;
            p = p.Next();
            if (observer_ != nullptr) observer_->Reached(part_, cmd);
            Execute(cmd);
        }
        CheckLeftCalls();
        CheckOctaveDrift();
        if (!advanced_) {
            sink_.Add(Warning::Kind::kSilent, FirstPlace(list),
                      PartName(part_) +
                          " has no note, rest or wait that it reaches: it plays "
                          "nothing");
        }
    }

    // The flow's hooks.
    bool Step() { return steps_++ < kStepLimit; }

    bool Call(const Command& cmd, const std::string& name) {
        // Map keys are unique, so a macro is known by its key's address: no
        // name is compared, however long.
        const auto active = std::find_if(calls_.begin(), calls_.end(), [&](const PendingCall& c) {
            return !c.left && c.macro == &name;
        });
        if (active != calls_.end()) {
            std::string through;
            for (auto it = std::next(active); it < calls_.end(); ++it) {
                if (it->left) continue;
                through += (through.empty() ? " through '" : "', '") + *it->macro;
            }
            if (!through.empty()) through += "'";
            sink_.Add(Warning::Kind::kRecursiveMacro, PlaceOf(cmd),
                      "macro '" + cmd.text + "' calls itself" + through +
                          ": a part that plays it stops once calls nest " + NestingText() +
                          " deep");
            return false;
        }
        // Noted before the flow's nesting check: a call past the limit ends
        // the walk anyway.
        calls_.push_back({&name});
        return true;
    }

    void Return() { calls_.pop_back(); }

    void TooDeep(const Command& cmd) {
        if (cmd.code != code::kCall) return;
        sink_.Add(Warning::Kind::kRecursiveMacro, PlaceOf(cmd),
                  "macro calls nest more than " + NestingText() + " deep here: " + PartName(part_) +
                      " stops");
    }

    void Close(const Command& /*close*/, const LoopFrame& loop) {
        if (flow_.returns.size() != loop.returnDepth) closedElsewhere_.insert(&loop.Open());
    }

    bool Endless(const Command& /*close*/, const LoopFrame& /*loop*/) {
        // An endless loop that closes again in the same command run ends the
        // part, as it does in the sequencer; two passes are enough.
        if (closedThisRun_) return false;
        if (++endlessCloses_ > 2 && tick_ >= horizon_) return false;
        closedThisRun_ = true;
        passNesting_.push_back(flow_.Nesting());
        passOctaves_.push_back(octave_);
        return true;
    }

    void Back(const Command& close, const LoopFrame& loop) { LeaveCalls(close, loop.returnDepth); }

    void Break(const Command& colon, const LoopFrame* loop) {
        if (loop == nullptr || PlaceOf(loop->Open()).line == 0) {
            sink_.Add(Warning::Kind::kLoop, PlaceOf(colon),
                      "':' plays outside any counted loop here: it does nothing");
            return;
        }
        if (loop->remaining == 0) {
            sink_.Add(Warning::Kind::kLoop, PlaceOf(colon),
                      "':' in an endless loop (line " + std::to_string(PlaceOf(loop->Open()).line) +
                          ") is never taken: the loop has no last pass");
            return;
        }
        const auto [first, fresh] = breaks_.emplace(&loop->Open(), &colon);
        if (!fresh && first->second != &colon) {
            sink_.Add(Warning::Kind::kLoop, PlaceOf(colon),
                      "a second ':' in one loop: the one on line " +
                          std::to_string(PlaceOf(*first->second).line) +
                          " leaves the last pass first, so this one does nothing");
        }
    }

  private:
    SourcePlace PlaceOf(const Command& cmd) const { return places_.Of(cmd); }

    SourcePlace FirstPlace(const CommandList& list) const {
        for (const Command& cmd : list) {
            const SourcePlace place = PlaceOf(cmd);
            if (place.line != 0) return place;
        }
        return {};
    }

    // A "}" going back to a loop opened outside the macros being played
    // leaves them with their returns pending.
    void LeaveCalls(const Command& close, std::size_t depth) {
        for (std::size_t i = depth; i < calls_.size(); ++i) {
            if (calls_[i].left) continue;
            calls_[i].left = true;
            if (leavingClose_ == nullptr) {
                leavingClose_ = &close;
                leftMacro_ = calls_[i].macro;
            }
        }
    }

    // Each pass of the part's loop that leaves more calls pending than the
    // one before brings the part closer to the nesting limit, where it stops.
    void CheckLeftCalls() {
        if (leavingClose_ == nullptr || passNesting_.size() < 2) return;
        const std::size_t growth = passNesting_[1] - std::min(passNesting_[1], passNesting_[0]);
        if (growth == 0) return;
        sink_.Add(Warning::Kind::kLoop, PlaceOf(*leavingClose_),
                  "'}' goes back to a loop outside macro '" + *leftMacro_ +
                      "', leaving the call unreturned: each pass of " + PartName(part_) +
                      "'s loop leaves " + Count(growth, "more call", "more calls") +
                      " pending, and the part stops once they nest " + NestingText() + " deep");
    }

    // The octave a pass of the part's loop ends on, compared with the pass
    // before: a loop that climbs or falls each time soon sits at an end of
    // the range.
    void CheckOctaveDrift() {
        if (passOctaves_.size() < 2 || passOctaves_[1] == passOctaves_[0]) return;
        const int32_t drift = passOctaves_[1] - passOctaves_[0];
        const bool up = drift > 0;
        const int32_t room =
            up ? kOctaveSteps.highest - passOctaves_[1] : passOctaves_[1] - kOctaveSteps.lowest;
        const int32_t step = up ? drift : -drift;
        const int32_t passes = (room + step - 1) / step;
        sink_.Add(Warning::Kind::kValueOutOfRange, octaveStepPlace_,
                  "each pass of " + PartName(part_) + "'s loop ends " +
                      Count(static_cast<std::size_t>(step), "octave", "octaves") +
                      (up ? " higher" : " lower") + " than the one before: by pass " +
                      std::to_string(passes + 2) + " it plays at " +
                      (up ? "the top of the range, o" + std::to_string(kOctaveSteps.highest)
                          : "octave " + std::to_string(kOctaveSteps.lowest)) +
                      ", and stays there");
    }

    // 'i', 'u' and 'p' each switch the other two off: one set and replaced
    // before any note is never heard.
    void Effect(const Command& cmd, bool on) {
        if (pendingEffect_ != nullptr && pendingEffect_->code != cmd.code) {
            const auto name = [](char letter) {
                return letter == code::kVibrato   ? "vibrato"
                       : letter == code::kTremolo ? "tremolo"
                                                  : "portamento";
            };
            sink_.Add(Warning::Kind::kIgnoredCommand, PlaceOf(cmd),
                      std::string("'") + text::AsciiLower(cmd.code) + "' switches off the " +
                          name(pendingEffect_->code) + " set on line " +
                          std::to_string(PlaceOf(*pendingEffect_).line) +
                          " before any note plays it");
        }
        pendingEffect_ = on ? &cmd : nullptr;
    }

    // A raw write to a register that the player itself rewrites soon.
    void Register(const Command& cmd) {
        const int32_t reg = cmd.arg[0];
        const int32_t data = cmd.arg[1] & 0xFF;
        int owner = -1;  // the part whose playing rewrites it
        std::string what, when = "at its every note";
        if (reg >= 0 && reg <= 5) {
            owner = song::kFMPartCount + reg / 2;
            what = "the tone period of SSG channel " +
                   std::string(1, static_cast<char>('A' + reg / 2));
        } else if (reg == 0x28) {
            owner = (data & 7) < 3 ? data & 7 : -1;
            what = "the key of FM channel " + std::to_string(owner + 1);
            when = "at its every note and every tick after a key-off";
        } else if ((reg >= 0xA0 && reg <= 0xA2) || (reg >= 0xA4 && reg <= 0xA6)) {
            owner = reg & 3;
            what = "the frequency of FM channel " + std::to_string(owner + 1);
        } else if ((reg >= 0xA8 && reg <= 0xAA) || (reg >= 0xAC && reg <= 0xAE)) {
            owner = 2;
            what = "an operator frequency of FM channel 3";
        } else if (reg >= 0x40 && reg <= 0x4E && (reg & 3) == part_ && isFM_ && voiceSelected_) {
            // A carrier's total level is the part's volume, written every tick.
            const auto voice = song_.Voices().find(voiceNumber_);
            const int slot = (reg - 0x40) >> 2;
            if (voice != song_.Voices().end() &&
                sequencer::FMController::CARRIER_TABLE[voice->second.fbAlg & 7][slot] != 0) {
                owner = part_;
                what = "the total level of a carrier of voice " + std::to_string(voiceNumber_);
                when = "every tick, from the part's volume";
            }
        }
        if (owner < 0 || !song_.IsPartUsed(owner)) return;
        sink_.Add(Warning::Kind::kRegister, PlaceOf(cmd),
                  "'y" + std::to_string(reg) + "," + std::to_string(cmd.arg[1]) + "' writes " +
                      what + ", which " + PartName(owner) + " rewrites " + when +
                      ": the write is soon lost");
    }

    void Execute(const Command& cmd) {
        const auto& a = cmd.arg;
        switch (cmd.code) {
            case code::kNote: {
                Note(cmd);
                pendingEffect_ = nullptr;
                const int32_t length = a[1] != 0 ? a[1] : defaultLength_;
                Advance(length, true);
                const int64_t end = tick_ + std::max<int64_t>(int64_t{length} * gate_ / 8, 1);
                if (hardware_ && envelope_ != nullptr) {
                    envelope_->notes.push_back({tick_, end, PlaceOf(cmd), period_, shape_});
                }
                if ((mix_ & kNoiseBit) != 0 && envelope_ != nullptr) {
                    envelope_->noiseNotes.push_back({tick_, end, PlaceOf(cmd), noise_});
                }
                tick_ += length;
                break;
            }
            case code::kRest:
                Advance(a[0] != 0 ? a[0] : defaultLength_, false);
                tick_ += a[0] != 0 ? a[0] : defaultLength_;
                // Under '!p0' a rest takes the level to 0 instead.
                if (hardware_ && mix_ != 0 && shape_.tick >= 0 && (shape_.value & 9) == 8) {
                    sink_.Add(Warning::Kind::kHardwareEnvelope, PlaceOf(cmd),
                              PartName(part_) + " rests on the repeating hardware envelope s" +
                                  std::to_string(shape_.value) + " (line " +
                                  std::to_string(shape_.place.line) +
                                  "): a keyed-off channel keeps the envelope's level, so the "
                                  "envelope sounds on through the rest");
                }
                break;
            case code::kWait:
                Advance(a[0] != 0 ? a[0] : defaultLength_, false);
                tick_ += a[0] != 0 ? a[0] : defaultLength_;
                break;
            case code::kGate:
                gate_ = a[0];
                break;
            case code::kRegister:
                Register(cmd);
                break;
            case code::kLength:
                defaultLength_ = a[0];
                break;
            case code::kOctave:
                octave_ = song::RangeOf(code::kOctave).Fit(a[0]);
                break;
            case code::kTranspose:
                transpose_ = song::kTranspositions.Fit(a[0]);
                break;
            case code::kTransposeBy: {
                const int64_t sum = int64_t{transpose_} + a[0];
                transpose_ = static_cast<int32_t>(std::clamp<int64_t>(
                    sum, song::kTranspositions.lowest, song::kTranspositions.highest));
                if (sum != transpose_) {
                    sink_.Add(Warning::Kind::kValueOutOfRange, PlaceOf(cmd),
                              "the transposition would be " + std::to_string(sum) +
                                  " semitones: it stops at " + std::to_string(transpose_));
                }
                break;
            }
            case code::kVolume:
                volume_ = song::kVolumes.Fit(a[0]);
                break;
            case code::kVolumeUp:
            case code::kVolumeDown: {
                const int64_t step = song::kNonNegative.Fit(a[0]);
                const int64_t sum = volume_ + (cmd.code == code::kVolumeUp ? step : -step);
                volume_ = static_cast<int32_t>(
                    std::clamp<int64_t>(sum, song::kVolumes.lowest, song::kVolumes.highest));
                if (sum != volume_) {
                    sink_.Add(Warning::Kind::kValueOutOfRange, PlaceOf(cmd),
                              "the volume would be " + std::to_string(sum) + ": it stops at v" +
                                  std::to_string(volume_));
                }
                break;
            }
            case code::kOctaveDown:
                if (octave_ == kOctaveSteps.lowest) {
                    const std::string lowest = std::to_string(kOctaveSteps.lowest);
                    sink_.Add(
                        Warning::Kind::kValueOutOfRange, PlaceOf(cmd),
                        "'<' below octave " + lowest + " does nothing: the octave stays " + lowest);
                }
                octave_ = kOctaveSteps.Fit(octave_ - 1);
                octaveStepPlace_ = PlaceOf(cmd);
                break;
            case code::kOctaveUp:
                if (octave_ == kOctaveSteps.highest) {
                    const std::string highest = std::to_string(kOctaveSteps.highest);
                    sink_.Add(Warning::Kind::kValueOutOfRange, PlaceOf(cmd),
                              "'>' above octave " + highest + " does nothing: the octave stays " +
                                  highest);
                }
                octave_ = kOctaveSteps.Fit(octave_ + 1);
                octaveStepPlace_ = PlaceOf(cmd);
                break;
            case code::kDetune:
                detune_ = a[0];
                detunePlace_ = PlaceOf(cmd);
                break;
            case code::kPortamento:
                portamento_ = a[0] > 0;
                vibPeriod_ = 0;
                Effect(cmd, portamento_);
                break;
            case code::kVibrato:
                vibDepth_ = a[0];
                vibPeriod_ = std::max(a[1], 0);
                vibDelay_ = std::max(a[2], 0);
                vibPlace_ = PlaceOf(cmd);
                portamento_ = false;
                Effect(cmd, vibPeriod_ > 0 && vibDepth_ != 0);
                break;
            case code::kTremolo:
                vibPeriod_ = 0;
                portamento_ = false;
                Effect(cmd, a[1] > 0 && a[0] != 0);
                break;
            case code::kVoice:
                Select(cmd);
                break;
            case code::kSSGMix:
            case code::kNoisePeriod:
                if (isFM_) {
                    WrongPart(cmd);
                } else if (cmd.code == code::kSSGMix) {
                    mix_ = song::RangeOf(cmd.code).Fit(a[0]);
                } else {
                    noise_ = {tick_, part_, song::RangeOf(cmd.code).Fit(a[0]), PlaceOf(cmd)};
                    if (envelope_ != nullptr) envelope_->noisePeriods.push_back(noise_);
                }
                break;
            case code::kEnvelopeShape:
            case code::kEnvelopePeriod:
                if (isFM_) {
                    WrongPart(cmd);
                } else {
                    if (!hardware_) {
                        hardware_ = true;
                        hardwarePlace_ = PlaceOf(cmd);
                    }
                    EnvelopeSetting& own = cmd.code == code::kEnvelopeShape ? shape_ : period_;
                    own = {tick_, part_, song::RangeOf(cmd.code).Fit(a[0]), PlaceOf(cmd)};
                    if (envelope_ != nullptr) {
                        (cmd.code == code::kEnvelopeShape ? envelope_->shapes : envelope_->periods)
                            .push_back(own);
                    }
                }
                break;
            default:
                break;
        }
    }

    // An SSG-only command on an FM part.
    void WrongPart(const Command& cmd) {
        const song::ControlCommand* row = song::RowOf(cmd.code);
        std::string text(1, '\'');
        text += row != nullptr ? song::Spelling(*row) : std::string(1, cmd.code);
        text += "' acts on the SSG parts (4-6) only: on " + PartName(part_) + " it does nothing";
        sink_.Add(Warning::Kind::kWrongPart, PlaceOf(cmd), std::move(text));
    }

    // A note (`note`), rest or wait of `length` ticks. One that takes time
    // ends the sequencer's command run: a note once the flow after it is
    // taken (the sequencer looks ahead from a note), a rest or wait at once.
    void Advance(int32_t length, bool note) {
        advanced_ = true;
        if (length <= 0) return;
        if (note) {
            runEndsAfterFlow_ = true;
        } else {
            closedThisRun_ = false;
        }
    }

    void Select(const Command& cmd) {
        const int32_t number = cmd.arg[0];
        if (isFM_) {
            voiceSelected_ = true;
            voiceNumber_ = number;
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
        }
        namespace pitch = sequencer::pitch;
        const pitch::Note note = pitch::Transposed(octave_, cmd.arg[0], transpose_);
        if (note.clamped) {
            sink_.Add(Warning::Kind::kValueOutOfRange, PlaceOf(cmd),
                      "transposed by " + std::to_string(transpose_) +
                          " semitones, this note lies beyond octaves 1-8: it plays as o" +
                          std::to_string(note.octave) + (note.octave == 1 ? " c" : " b"));
        }
        if (isFM_) return;
        if (note.octave == 0 && note.semitone < 11) {
            // The period table's octave 0 repeats octave 1 below its B.
            sink_.Add(Warning::Kind::kSSGPitchRange, PlaceOf(cmd),
                      "the SSG's lowest tone is the B of octave 0: below it, octave 0 plays as "
                      "octave 1, an octave higher than written");
        }
        const int32_t period = pitch::DetunedSSGPeriod(note.octave, note.semitone, detune_);
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
    ClosedElsewhere& closedElsewhere_;

    sequencer::FlowStacks flow_;
    std::vector<PendingCall> calls_;  // beside flow_.returns, outermost first
    int steps_ = 0;                   // commands the walk has looked at
    std::vector<std::size_t>
        passNesting_;  // calls and loops pending at each close of the part's loop
    const Command* leavingClose_ = nullptr;  // the first "}" that left a macro
    const std::string* leftMacro_ = nullptr;
    int endlessCloses_ = 0;
    bool advanced_ = false;
    bool closedThisRun_ = false;     // an endless loop closed in this command run
    bool runEndsAfterFlow_ = false;  // a note that takes time: the run ends after its flow

    int32_t octave_ = 4;
    int32_t transpose_ = 0;
    int32_t volume_ = 15;
    std::map<const Command*, const Command*>
        breaks_;  // each loop's "{" and the first ':' met in it
    int32_t defaultLength_ = 64;
    int32_t detune_ = 0;
    SourcePlace detunePlace_;
    bool portamento_ = false;
    int32_t vibDepth_ = 0;
    int32_t vibPeriod_ = 0;
    int32_t vibDelay_ = 0;
    SourcePlace vibPlace_;
    bool voiceSelected_ = false;
    int32_t voiceNumber_ = 0;
    bool hardware_ = false;
    SourcePlace hardwarePlace_;
    EnvelopeSetting period_;  // this part's latest 'm'
    EnvelopeSetting shape_;   // and 's'
    EnvelopeSetting noise_;   // and '!w'
    int32_t mix_ = 1;         // the latest '!p'
    int32_t gate_ = 8;
    const int64_t horizon_;
    EnvelopeUse* const envelope_;
    sequencer::CommandObserver* const observer_;
    int64_t tick_ = 0;
    const Command* pendingEffect_ = nullptr;  // an 'i', 'u' or 'p' no note has played yet
    std::vector<int32_t> passOctaves_;        // the octave at each close of the part's loop
    SourcePlace octaveStepPlace_;             // the latest '<' or '>'
};

// A suggestion for a call whose name is not defined: a macro whose name
// differs only in letter case or blanks.
std::string NearName(const song::Song& song, const std::string& name) {
    const auto folded = [](const std::string& text) {
        std::string out;
        for (const char c : text) {
            if (c == ' ' || c == '\t') continue;
            out += text::AsciiLower(c);
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
               const std::string& owner, const CommandPlaces& places,
               const ClosedElsewhere& closedElsewhere, WarningSink& sink) {
    std::vector<const Command*> open;
    const Command* previous = nullptr;
    const Command* endlessClose = nullptr;  // the close of an endless loop at the list's level
    bool reported = false;
    for (auto it = list.begin(); it != list.end(); ++it) {
        const Command& cmd = *it;
        const SourcePlace place = places.Of(cmd);
        if (place.line == 0) continue;  // the frame or the macro's end
        if (endlessClose != nullptr && !reported) {
            reported = true;
            sink.Add(Warning::Kind::kUnreachable, place,
                     "never played: the endless loop before it (line " +
                         std::to_string(places.Of(*endlessClose).line) + ") never ends");
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
                if (std::next(it) != list.end() && std::next(it)->code == code::kRest) {
                    sink.Add(Warning::Kind::kTie, place,
                             "'&' before a rest ties nothing to the note: the rest "
                             "silences it");
                } else if ((previous == nullptr && isPart) ||
                           (previous != nullptr && previous->code != code::kNote &&
                            previous->code != code::kLoopOpen &&
                            previous->code != code::kLoopClose && previous->code != code::kCall)) {
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
        if (closedElsewhere.count(loop) != 0) continue;
        const bool counted = loop->arg[0] > 0;
        sink.Add(Warning::Kind::kLoop, places.Of(*loop),
                 "'{' is never closed" +
                     std::string(isPart ? (counted ? ": the part's end closes it, and after its "
                                                     "passes the part stops"
                                                   : ": the part's end closes it")
                                        : " in macro '" + owner + "'"));
    }
}

}  // namespace

// A note on the hardware envelope that another part changed after the
// note's own part set it, and before the note ended: a different period, a
// different shape, or the same shape restarted under the note. Once per part.
void CheckSharedEnvelope(const std::array<EnvelopeUse, kSSGParts>& uses, WarningSink& sink) {
    for (const EnvelopeUse& use : uses) {
        for (const HardwareNote& note : use.notes) {
            const EnvelopeSetting* changed = nullptr;
            const char* what = "";
            for (const EnvelopeUse& other : uses) {
                if (&other == &use) continue;
                for (const EnvelopeSetting& set : other.periods) {
                    if (note.period.tick >= 0 && set.After(note.period) && set.tick < note.end &&
                        set.value != note.period.value) {
                        changed = &set;
                        what = "m";
                        break;
                    }
                }
                for (const EnvelopeSetting& set : other.shapes) {
                    if (changed != nullptr) break;
                    if (note.shape.tick >= 0 && set.After(note.shape) && set.tick < note.end &&
                        (set.value != note.shape.value || set.tick >= note.start)) {
                        changed = &set;
                        what = "s";
                    }
                }
                if (changed != nullptr) break;
            }
            if (changed == nullptr) continue;
            const int part = (note.period.tick >= 0 ? note.period.part : note.shape.part);
            sink.Add(Warning::Kind::kHardwareEnvelope, note.place,
                     "the SSG parts share one hardware envelope: " + PartName(changed->part) +
                         "'s " + what + std::to_string(changed->value) + " (line " +
                         std::to_string(changed->place.line) + ") changes it under this note of " +
                         PartName(part) + ", which then does not sound as its own '" + what +
                         "' set it");
            break;
        }
    }
}

// A note sounding the noise whose period another part changed after the
// note's own part set it, and before the note ended: the SSG has one noise
// generator, and the last '!w' written is its period. Once per part.
void CheckSharedNoise(const std::array<EnvelopeUse, kSSGParts>& uses, WarningSink& sink) {
    for (const EnvelopeUse& use : uses) {
        for (const NoiseNote& note : use.noiseNotes) {
            if (note.period.tick < 0) continue;
            const EnvelopeSetting* changed = nullptr;
            for (const EnvelopeUse& other : uses) {
                if (&other == &use) continue;
                for (const EnvelopeSetting& set : other.noisePeriods) {
                    if (set.After(note.period) && set.tick < note.end &&
                        set.value != note.period.value) {
                        changed = &set;
                        break;
                    }
                }
                if (changed != nullptr) break;
            }
            if (changed == nullptr) continue;
            sink.Add(Warning::Kind::kNoise, note.place,
                     "the SSG parts share one noise generator: " + PartName(changed->part) +
                         "'s !w" + std::to_string(changed->value) + " (line " +
                         std::to_string(changed->place.line) +
                         ") changes its period under this "
                         "note of " +
                         PartName(note.period.part) +
                         ", which then does not sound "
                         "as its own !w" +
                         std::to_string(note.period.value) + " (line " +
                         std::to_string(note.period.place.line) + ") set it");
            break;
        }
    }
}

namespace {

// A tempo change in a macro that no part calls, directly or through other
// macros: the tempo never changes there. Once per macro.
void CheckUncalledTempo(const song::Song& song, const CommandPlaces& places, WarningSink& sink) {
    std::set<std::string> called;
    std::vector<const CommandList*> lists;
    for (int part = 0; part < song::kPartCount; ++part) lists.push_back(&song.Part(part));
    while (!lists.empty()) {
        const CommandList* list = lists.back();
        lists.pop_back();
        for (const Command& cmd : *list) {
            if (cmd.code == code::kCall && song.HasMacro(cmd.text) &&
                called.insert(cmd.text).second) {
                lists.push_back(&song.Macros().at(cmd.text));
            }
        }
    }
    for (const auto& [name, list] : song.Macros()) {
        if (called.count(name) != 0) continue;
        const auto change = std::find_if(list.begin(), list.end(), [](const Command& cmd) {
            return cmd.code == code::kTempoChange;
        });
        if (change == list.end()) continue;
        sink.Add(Warning::Kind::kTempo, places.Of(*change),
                 "no part calls macro '" + name + "': this tempo change never happens");
    }
}

}  // namespace

void WalkParts(const song::Song& song, const CommandPlaces& places, WarningSink& sink,
               sequencer::CommandObserver* observer) {
    bool anyUsed = false;
    ClosedElsewhere closedElsewhere;
    int64_t horizon = 0;
    std::array<EnvelopeUse, kSSGParts> envelope;
    int settingParts = 0;  // SSG parts that set the hardware envelope
    int noiseParts = 0;    // and the noise period
    for (int part = 0; part < song::kPartCount; ++part) {
        if (!song.IsPartUsed(part)) continue;
        anyUsed = true;
        EnvelopeUse* use =
            part >= song::kFMPartCount ? &envelope[part - song::kFMPartCount] : nullptr;
        PartWalker walker(song, places, sink, part, closedElsewhere, 0, use, observer);
        walker.Run();
        CheckList(song, song.Part(part), true, PartName(part), places, closedElsewhere, sink);
        horizon = std::max(horizon, walker.Ticks());
        if (use != nullptr && !(use->periods.empty() && use->shapes.empty())) ++settingParts;
        if (use != nullptr && !use->noisePeriods.empty()) ++noiseParts;
    }
    if (settingParts >= 2 || noiseParts >= 2) {
        // Again over the same stretch of time for every SSG part, so that a
        // short loop meets what a long one does later.
        for (int ssg = 0; ssg < kSSGParts; ++ssg) {
            envelope[ssg] = {};
            const int part = song::kFMPartCount + ssg;
            if (song.IsPartUsed(part))
                PartWalker(song, places, sink, part, closedElsewhere, horizon, &envelope[ssg])
                    .Run();
        }
        CheckSharedEnvelope(envelope, sink);
        CheckSharedNoise(envelope, sink);
    }
    for (const auto& [name, list] : song.Macros()) {
        CheckList(song, list, false, name, places, closedElsewhere, sink);
    }
    CheckUncalledTempo(song, places, sink);
    if (!anyUsed) sink.Add(Warning::Kind::kSilent, {}, "no part line: the song plays nothing");
}

}  // namespace Tarsel
