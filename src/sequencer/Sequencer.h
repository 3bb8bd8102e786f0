#pragma once
// The driver: plays a compiled Song on the chip, tick by tick.
//
// A whole note is 64 ticks; a tick lasts a whole number of output frames,
// given by the tempo in force in that tick and the output rate. The tempo
// starts as the song's; a tempo change ("!t") sets it from the tick in which
// a part plays it (parts run in order 0..5, so in one tick the higher part
// number has the last word), and a ramp moves it one step per tick. Render
// mixes chip output up to each tick boundary and runs the tick in between,
// so a tick always runs before the first frame of its own, however the
// caller cuts its requests. The chip is mixed in spans that end at tick boundaries
// and at every kSpanFrames frames of the piece, never at a request's end, so
// the output bytes do not depend on the request sizes either. A tick visits the active parts 0..5
// in order: key-off of the note that ran out, the due commands, then the per-tick effects.
//
// The sequencer points at the chip and the song; it owns neither (the engine
// owns both) and only reads the song. Parts 0-2 drive FM channels 1-3, parts
// 3-5 SSG channels A-C.
//
// Deliberate choices:
//   - Ticks are counted in 64 bits, so neither a long piece nor a length of
//     2^31 - 1 ticks overflows.
//   - A tick length below one frame (tempo 0 or less, or a huge tempo) is
//     taken as one frame; an infinite one (tempo 0) as INT32_MAX frames.
//   - Init refuses output rates outside kMinRate..kMaxRate.
//   - A loop with a negative count is endless, like a loop without a count.
//   - A part's commands end when its flow runs off the end of a list, when
//     macro calls or loops nest deeper than kMaxNesting, when an endless loop
//     closes twice in one tick, or when one tick's command run takes more
//     steps than its budget without reaching a timed command: no song can
//     hang the render loop or grow memory without end.
//   - The part then stops where its last note, rest or wait ends, never
//     sooner: a note whose look-ahead finds the end sounds its length with
//     the gate of any note (at least the one tick before its key-off, so also
//     with a length of 0 or less), its effects run until it is over, and the
//     part stops in the tick in which it ends.
//   - The step budget is per part and tick: kStepsPerFrame steps per frame
//     that the tick lasts at kMaxRate (StepBudget), within kMinStepBudget..
//     kStepBudget, so 65536 at any tempo up to 639 and never fewer than 1024.
//     It follows from the tempo alone, never from the output rate, so a song
//     plays the same at every rate; being at least what any rate's own tick
//     length once gave, it stops no song that played on. The work stays
//     bounded: at most 2304 steps per output frame and part (8000 Hz near
//     tempo 18400), and per second of output never more than one-frame
//     ticks at kMaxRate take (1024 steps each).
//   - A software envelope whose step length is 0 plays its first level.

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "sequencer/FMController.h"
#include "sequencer/PartState.h"
#include "sequencer/SSGController.h"
#include "song/Song.h"

namespace song {
class Song;
struct Command;
}  // namespace song
namespace FM {
class OPN;
}

namespace sequencer {

class Sequencer {
  public:
    static constexpr uint32_t kMinRate = 8000;  // Hz, output rates accepted by Init
    static constexpr uint32_t kMaxRate = 192000;
    static constexpr std::size_t kMaxNesting = sequencer::kMaxNesting;  // see Flow.h
    static constexpr int32_t kStepBudget = 1 << 16;  // flow steps + commands per part and tick
    static constexpr int32_t kStepsPerFrame = 64;    // ... per frame of the tick at kMaxRate,
    static constexpr int32_t kMinStepBudget = 1024;  // ... but never fewer
    static constexpr int32_t kSpanFrames = 1024;     // longest chip mix in one call

    // Nothing is written to the chip until Init.
    Sequencer(FM::OPN* chip, const song::Song* song);

    // Fixes the tick length, initialises the chip at song::kChipClock and `rate`,
    // arms the used parts at their first command and puts FM channel 3 in its
    // special mode. False for a rate outside kMinRate..kMaxRate or a missing
    // chip or song; the sequencer then renders silence.
    bool Init(uint32_t rate);

    // Clears `frames` interleaved stereo frames, then fills them with chip
    // output, running the ticks that fall due in between.
    void Render(int16_t* buffer, int32_t frames);

    // Runs one tick without mixing, e.g. to run a song ahead. Needs Init.
    void Tick();

    // Plays on `frames` frames without their sound: afterwards the sequencer
    // and the chip stand exactly where a Render of them leaves them (the
    // chip advanced, not mixed, through every span the frames cover whole).
    void Skip(int64_t frames);

    // Takes on the state of `other`, a sequencer of the same song: it then
    // plays on exactly as `other` would, on this sequencer's own chip, which
    // must hold `other`'s chip's state. Keeps this one's command observer.
    void AssignState(const Sequencer& other);
    // Memory this sequencer's state takes, its own object included.
    std::size_t StateBytes() const;

    // Frames per tick: trunc(60 / (tempo * 16) * rate / 1.1 + 0.5), at least 1.
    static int32_t TickLength(int32_t tempo, uint32_t rate);
    // Flow steps and commands a part may take in one tick at `tempo`, at any rate.
    static int32_t StepBudget(int32_t tempo);

    // The length of the tick run last (before the first, of the first at
    // the song's tempo), in frames.
    int32_t FramesPerTick() const { return framesPerTick_; }

    // The tempo and any ramp in progress: a ramp from `from` to `to` over
    // `length` ticks, `step` of them run. Equal states play on alike.
    struct TempoState {
        int32_t tempo = 0;
        int32_t from = 0;
        int32_t to = 0;
        int32_t length = 0;  // 0: no ramp
        int32_t step = 0;
        friend bool operator==(const TempoState&, const TempoState&) = default;
    };
    const TempoState& Tempo() const { return tempo_; }
    int64_t CurrentTick() const { return tick_; }  // ticks run so far
    // Frames of the piece the chip has mixed so far: where a register written
    // now takes effect. Render hands frames out of a mixed span, so this runs
    // ahead of what callers have received by less than kSpanFrames.
    int64_t FramesMixed() const { return framesMixed_; }

    // Read-only loop information per part (0..5), for tools. A pass is one
    // close of the endless loop the part plays in. It ends where its last note,
    // rest or wait ends, which may be a few ticks after the close was seen (the
    // look-ahead of a note closes the loop when the note starts). At most one
    // pass closes per part and tick, so a tool that calls Tick() and reads
    // these after each call sees every pass.
    const PartState& Part(int part) const { return parts_[part]; }
    int64_t Passes(int part) const { return parts_[part].passes; }
    int64_t PassEndTick(int part) const { return parts_[part].passEndTick; }
    int64_t PassNesting(int part) const { return parts_[part].passNesting; }
    // False from the tick in which the part's last note, rest or wait ended,
    // once its commands have run out.
    bool IsActive(int part) const { return parts_[part].active; }

    // What a part (0..5) is playing after the ticks run so far: the note,
    // rest or wait that began last, and the macro calls ("$" commands) it
    // was reached through, outermost first; each command's source says where
    // it was written. Nothing once the part has stopped, or before its first.
    // The calls stay valid until the next Tick or Render. `tick` is the tick
    // in which the command began.
    struct Playing {
        const song::Command* command = nullptr;
        std::span<const song::Command* const> calls;
        int64_t tick = 0;
    };
    Playing NowPlaying(int part) const {
        const Sounding& now = sounding_[part];
        if (!parts_[part].active || now.command == nullptr) return {};
        return {now.command, now.calls, now.tick};
    }

    const FMController& FMControl() const { return fm_; }

    // Tells `observer` (null: no one) each command a part executes, in order.
    void SetCommandObserver(CommandObserver* observer) { observer_ = observer; }
    const SSGController& SSGControl() const { return ssg_; }

  private:
    void PartTick(int part);
    void KeyOnOff(int part, bool on);
    // Runs every command of the part that is due in this tick.
    void RunCommands(int part);
    // Follows calls, returns and loop brackets from `p` and leaves `p` at the
    // next command of any other kind. False when the part's commands have
    // ended; the caller decides when the part stops.
    bool ResolveFlow(int part, CommandCursor& p);
    // Executes one command; `next` is the position after it (the note's
    // look-ahead moves it).
    void Execute(int part, const song::Command& cmd, CommandCursor& next);
    void PlayNote(int part, const song::Command& cmd, CommandCursor& next);
    // Notes a note, rest or wait as what the part plays, before a note's
    // look-ahead can leave the macro it is in.
    void NoteSounding(int part, const song::Command& cmd);
    void UpdateEffects(int part);
    void EndPart(int part);
    // A "!t": tempo `to` now, or over `length` ticks from the current one.
    void ChangeTempo(int32_t to, int32_t length);
    // Moves a ramp one step on, at the start of a tick.
    void StepRamp();
    // The tick length and the step budget of the current tempo.
    void ApplyTempo();
    // Runs the tick that is due, if one is, and mixes the next span of the
    // piece into span_; or, unless it is longer than `skip` frames, only
    // advances the chip through it.
    void MixNextSpan(int64_t skip = 0);

    std::array<PartState, song::kPartCount> parts_;
    FM::OPN* chip_;
    FMController fm_;
    SSGController ssg_;
    const song::Song* song_;
    uint32_t rate_ = 0;
    int32_t framesPerTick_ = 1;
    TempoState tempo_;
    bool tempoSet_ = false;                        // a part changed the tempo in this tick
    int32_t framesLeft_ = 0;                       // frames to mix before the next tick
    int64_t framesMixed_ = 0;                      // frames of the piece mixed so far
    std::array<int16_t, kSpanFrames * 2> span_{};  // the current span, interleaved stereo
    int32_t spanLength_ = 0;                       // frames in span_
    int32_t spanRead_ = 0;                         // frames of span_ already handed out
    int64_t tick_ = 0;
    int32_t stepBudget_ = kStepBudget;  // steps allowed in one command run
    int32_t budget_ = 0;                // steps left in the current command run
    bool ready_ = false;                // Init succeeded
    CommandObserver* observer_ = nullptr;

    // For NowPlaying, per part: the note, rest or wait that began last, and
    // the calls on the return stack then, outermost first. Kept apart from
    // the parts' playing state, which the tick's work reads.
    struct Sounding {
        const song::Command* command = nullptr;
        std::vector<const song::Command*> calls;
        int64_t tick = 0;
    };
    std::array<Sounding, song::kPartCount> sounding_;
};

}  // namespace sequencer
