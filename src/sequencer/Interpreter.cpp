// The part command interpreter: flow (macro calls, returns, loops), notes,
// rests and the control commands.

#include <algorithm>

#include "fm/OPN.h"
#include "sequencer/Flow.h"
#include "sequencer/Pitch.h"
#include "sequencer/Sequencer.h"
#include "song/CommandTable.h"
#include "song/Song.h"

namespace sequencer {

namespace code = song::code;

namespace {

// Argument `I` of a command with code `Code`, kept in the range the command
// table gives it.
template <char Code, std::size_t I = 0>
constexpr int32_t Fit(int32_t value) {
    constexpr song::ValueRange range = song::RangeOf(Code, I);
    return range.Fit(value);
}

}  // namespace

void Sequencer::EndPart(int part) {
    parts_[part].active = false;
}

void Sequencer::RunCommands(int part) {
    PartState& ps = parts_[part];
    ps.loopedThisCall = false;
    budget_ = stepBudget_;
    CommandCursor p = ps.position;
    while (ps.nextEvent <= tick_) {
        // Whatever ends the commands, the part stops only here, where its
        // last note, rest or wait is over. The position is not stored.
        if (ps.flowEnded || !ResolveFlow(part, p)) {
            EndPart(part);
            return;
        }
        const song::Command& cmd = *p.at;
        p = p.Next();
        if (--budget_ < 0) {
            EndPart(part);
            return;
        }
        if (observer_ != nullptr) observer_->Reached(part, cmd);
        Execute(part, cmd, p);
    }
    ps.position = p;
}

namespace {

// The sequencer's part of the flow: a step budget per command run, an
// endless loop closing at most once per run (a loop without a note, rest or
// wait would otherwise spin for ever), and the pass bookkeeping for tools.
struct PlayHooks : FlowHooks {
    PartState& ps;
    int32_t& budget;

    bool Step() { return --budget >= 0; }
    bool Endless(const song::Command& /*close*/, const LoopFrame& /*loop*/) {
        if (ps.loopedThisCall) return false;
        ps.loopedThisCall = true;
        ++ps.passes;
        ps.passEndTick = ps.nextEvent;
        ps.passNesting = static_cast<int64_t>(ps.flow.Nesting());
        return true;
    }
};

}  // namespace

bool Sequencer::ResolveFlow(int part, CommandCursor& p) {
    PartState& ps = parts_[part];
    PlayHooks hooks{{}, ps, budget_};
    return sequencer::ResolveFlow(*song_, ps.flow, p, hooks);
}

void Sequencer::NoteSounding(int part, const song::Command& cmd) {
    Sounding& now = sounding_[part];
    now.command = &cmd;
    now.calls.clear();
    // A "$" leaves on the return stack the position after itself.
    for (const CommandCursor& back : parts_[part].flow.returns) {
        now.calls.push_back(&*std::prev(back.at));
    }
}

void Sequencer::Execute(int part, const song::Command& cmd, CommandCursor& next) {
    PartState& ps = parts_[part];
    const bool isFM = part < song::kFMPartCount;
    const int ch = isFM ? part : part - song::kFMPartCount;
    const auto& a = cmd.arg;
    switch (cmd.code) {
        case code::kNote:
            NoteSounding(part, cmd);
            PlayNote(part, cmd, next);
            break;
        case code::kRest:
            KeyOnOff(part, false);
            [[fallthrough]];
        case code::kWait:
            NoteSounding(part, cmd);
            ps.nextEvent = tick_ + (a[0] != 0 ? a[0] : ps.defaultLength);
            ps.tied = false;
            break;
        case code::kLength:
            ps.defaultLength = a[0];
            break;
        case code::kOctave:
            ps.octave = Fit<code::kOctave>(a[0]);
            break;
        case code::kOctaveDown:
            ps.octave = Fit<code::kOctaveDown>(ps.octave - 1);
            break;
        case code::kOctaveUp:
            ps.octave = Fit<code::kOctaveUp>(ps.octave + 1);
            break;
        case code::kTranspose:
            ps.transpose = Fit<code::kTranspose>(a[0]);
            break;
        case code::kTransposeBy:
            ps.transpose = static_cast<int32_t>(std::clamp<int64_t>(int64_t{ps.transpose} + a[0],
                                                                    song::kTranspositions.lowest,
                                                                    song::kTranspositions.highest));
            break;
        case code::kGate:
            ps.gate = a[0];
            break;
        case code::kDetune:
            ps.detune = a[0];
            break;
        case code::kVolume:
        case code::kVolumeUp:
        case code::kVolumeDown:
            if (cmd.code == code::kVolume) {
                ps.volume = Fit<code::kVolume>(a[0]);
            } else {
                const int64_t step = Fit<code::kVolumeUp>(a[0]);
                ps.volume = static_cast<int32_t>(
                    std::clamp<int64_t>(ps.volume + (cmd.code == code::kVolumeUp ? step : -step),
                                        song::kVolumes.lowest, song::kVolumes.highest));
            }
            if (isFM) {
                fm_.SetVolume(ch, ps.volume);
            } else {
                ssg_.SetVolume(ch, ps.volume);
            }
            break;
        case code::kVoice:
            ps.voiceNumber = a[0];
            if (isFM) {
                fm_.SetVoice(ch, song_->GetVoice(a[0]));
            } else {
                ps.softEnvelope = true;
            }
            break;
        case code::kEnvelopePeriod:
            if (!isFM) {
                ps.softEnvelope = false;
                ssg_.SetEnvelopeMode(ch, true);
                ssg_.SetEnvelopePeriod(a[0]);
            }
            break;
        case code::kEnvelopeShape:
            if (!isFM) {
                ps.softEnvelope = false;
                ssg_.SetEnvelopeMode(ch, true);
                ssg_.SetEnvelopeShape(a[0]);
            }
            break;
        case code::kPortamento:
            ps.prevOctave = ps.NoteOctave();
            ps.prevFreq = ps.freq;
            ps.portaLength = Fit<code::kPortamento>(a[0]);
            ps.tremPeriod = 0;
            ps.vibPeriod = 0;
            break;
        case code::kVibrato:
            ps.vibDepth = a[0];
            ps.vibPeriod = Fit<code::kVibrato, 1>(a[1]);
            ps.vibDelay = Fit<code::kVibrato, 2>(a[2]);
            ps.tremPeriod = 0;
            ps.portaLength = 0;
            break;
        case code::kTremolo:
            ps.tremDepth = a[0];
            ps.tremPeriod = Fit<code::kTremolo, 1>(a[1]);
            ps.tremDelay = Fit<code::kTremolo, 2>(a[2]);
            ps.portaLength = 0;
            ps.vibPeriod = 0;
            break;
        case code::kRegister:
            chip_->SetReg(static_cast<uint32_t>(a[0]), static_cast<uint32_t>(a[1]));
            break;
        default:  // a tie and unknown codes do nothing when executed
            break;
    }
}

void Sequencer::PlayNote(int part, const song::Command& cmd, CommandCursor& next) {
    PartState& ps = parts_[part];
    const int32_t semitone = cmd.arg[0];
    const int32_t length = cmd.arg[1] != 0 ? cmd.arg[1] : ps.defaultLength;

    // A tied note keeps the start, and so the effect timing, of the note it continues.
    if (!ps.tied) ps.noteStart = tick_;

    const pitch::Note note = pitch::Transposed(ps.octave, semitone, ps.transpose);
    ps.noteShift = note.octave - ps.octave;
    if (part < song::kFMPartCount) {
        const int32_t f = pitch::DetunedFnum(note.semitone, ps.detune);
        fm_.SetFrequency(part, note.octave, f);
        ps.freq = f;
    } else {
        const int32_t u = pitch::DetunedSSGPeriod(note.octave, note.semitone, ps.detune);
        ssg_.SetTone(part - song::kFMPartCount, u);
        ps.freq = u;
    }
    KeyOnOff(part, true);  // also for a tied note
    if (ps.prevFreq == 0) {
        ps.prevOctave = note.octave;
        ps.prevFreq = ps.freq;
    }
    ps.nextEvent = tick_ + length;

    // Look ahead: the flow after the note is taken now, so a tie behind a
    // macro return or a loop end is still seen.
    const int64_t passesBefore = ps.passes;
    const bool last = !ResolveFlow(part, next);
    ps.tied = !last && next.at->code == code::kTie;
    if (ps.tied) {
        ps.keyOffTick = ps.nextEvent;
        return;
    }
    const int64_t g = int64_t{length} * ps.gate / 8;
    ps.keyOffTick = tick_ + (g > 1 ? g : 1);
    if (last) {
        // The part's commands end after this note. It still sounds its length
        // (at least the one tick before its key-off) with its effects, and the
        // part stops when it is over; a pass the look-ahead closed ends there.
        ps.flowEnded = true;
        if (length < 1) {
            ps.nextEvent = tick_ + 1;
            if (ps.passes != passesBefore) ps.passEndTick = ps.nextEvent;
        }
    }
}

}  // namespace sequencer
