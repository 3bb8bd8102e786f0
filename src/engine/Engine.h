#pragma once
// A compiled song playing on the chip, in frames: the one engine behind every
// front end (the plug-in, the command line, the web page, the tests).
//
// An engine owns the chip model and the sequencer, and shares the song it
// plays, read-only, with anyone else: one compile serves any number of
// engines (a look-ahead, the mix, each stem). Output is interleaved stereo
// frames of two signed 16-bit samples; the chip is mono, so both samples of a
// frame are equal. Each engine's output volumes and channel mask are its own.
//
// The output depends only on the song, the rate, the volumes and the mask,
// never on how the caller cuts its render requests.
//
// Not copyable or movable (the sequencer points at the chip inside), but its
// state can be saved and restored (Snapshot); one engine must not be used
// from two threads at once, different engines may.

#include <cstdint>
#include <memory>
#include <span>

#include "fm/OPN.h"
#include "song/Song.h"

// The sequencer is the engine's own business; users of the engine see only
// the song and the chip.
namespace sequencer {
class Sequencer;
}

namespace engine {

// Output volumes in half-decibel steps (a factor of 10^(value / 40)); at most
// +20, and -192 or less mutes the FM section.
struct Volumes {
    int32_t fm = 0;
    int32_t ssg = 0;

    friend bool operator==(const Volumes&, const Volumes&) = default;
};

// Where one part stands in its playback.
struct PartStatus {
    bool used = false;        // the song has commands for it
    bool active = false;      // still playing (a part whose commands run out stops)
    int64_t passes = 0;       // trips completed through its endless loop
    int64_t passEndTick = 0;  // tick at which the latest trip ended musically
    int64_t passNesting = 0;  // macro calls and loops pending when it ended
};

// The tempo in force and any ramp in progress ("!t"): a ramp from `from` to
// `to` over `length` ticks (0: none), `step` of them run. Equal states play
// on alike.
struct TempoStatus {
    int32_t tempo = 0;
    int32_t from = 0;
    int32_t to = 0;
    int32_t length = 0;
    int32_t step = 0;
    friend bool operator==(const TempoStatus&, const TempoStatus&) = default;
};

// What one part sounds at the engine's position (Engine::NowSounding).
struct Sounding {
    // The note, rest or wait it plays; null once the part has stopped or
    // before its first. Its source says where it was written.
    const song::Command* command = nullptr;
    // The macro calls ("$" commands) it was reached through, outermost first.
    std::span<const song::Command* const> calls;
    int64_t tick = 0;   // the tick in which the command began
    int64_t until = 0;  // the tick in which the part's next command is due
    // The pitch the chip plays now, vibrato and portamento included, as the
    // registers hold it: FM block << 11 | F-number (channel 3: the note's,
    // before its operators' ratios), SSG the tone period; 0 before the
    // part's first note. Hertz() turns it into a frequency.
    int32_t pitch = 0;
    bool fm = false;
    bool keyedOn = false;  // the channel is keyed on (FM) or its tone is on (SSG)
    bool tied = false;     // the note goes on into the next one
    int32_t volume = 0;    // 0..15
    int32_t voice = 0;     // the last "@": FM voice or SSG envelope number

    double Hertz() const;  // 0 before the part's first note
};

// Sees every register write the engine makes, in order, with the frame of
// the piece at which it takes effect (frame 0 for the writes made while
// starting). Meant for register-log export, visualisers and tests.
class RegisterWriteObserver {
  public:
    virtual ~RegisterWriteObserver() = default;
    virtual void OnRegisterWrite(int64_t frame, uint32_t address, uint32_t data) = 0;
};

class Engine;

// An engine's state at one frame of the piece, saved by value: the chip, the
// sequencer and the position, with the song shared, not copied. An engine
// of the same song, rate, volumes and channel mask restored to it plays on
// exactly as the engine it was saved from would have. Read-only once made,
// so one snapshot may be restored by any number of engines, also from
// different threads.
class Snapshot {
  public:
    ~Snapshot();
    Snapshot(Snapshot&&) noexcept;
    Snapshot& operator=(Snapshot&&) noexcept;

    int64_t Frame() const { return frame_; }
    // Memory the snapshot holds, in bytes.
    std::size_t Bytes() const;

  private:
    friend class Engine;
    Snapshot();

    std::shared_ptr<const song::Song> song_;
    uint32_t rate_ = 0;
    Volumes volumes_;
    uint32_t channelMask_ = 0;
    int64_t frame_ = 0;
    std::unique_ptr<FM::OPN> chip_;
    std::unique_ptr<sequencer::Sequencer> sequencer_;
};

class Engine {
  public:
    static constexpr uint32_t kChipClock = song::kChipClock;  // Hz
    // Output rates an engine can play at, in Hz.
    static constexpr uint32_t kMinRate = 8000;
    static constexpr uint32_t kMaxRate = 192000;

    // Starts `song` at tick 0 on a fresh chip at `rate`. An engine whose rate
    // is outside kMinRate..kMaxRate, or without a song, is not Ready and
    // renders silence.
    Engine(std::shared_ptr<const song::Song> song, uint32_t rate, Volumes volumes = {},
           uint32_t channelMask = 0);
    ~Engine();

    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    bool Ready() const { return ready_; }

    // Writes the next `count` frames to `frames` (2 * count samples).
    void Render(int16_t* frames, int32_t count);

    // Starts again at tick 0 on a reset chip, with this engine's volumes and
    // mask. The chip's tone counters keep running through a reset, so the
    // samples after a restart need not equal those of a new engine.
    void Restart();

    // Plays from `frame` of the piece: a new start (as a new engine would
    // make), then the frames before `frame` rendered and dropped, so what
    // follows equals, byte for byte, the same frames of a render from the
    // beginning. Costs as much as rendering those frames.
    void SeekToFrame(int64_t frame);

    // Plays on from here up to `frame` without output (nothing when the
    // engine is there or past it already), the chip advanced rather than
    // mixed (see FM::OPN::Advance): the cheap way forward for an engine that
    // has played untouched from a fresh start, whose output from `frame`
    // then equals a render from the beginning, as after SeekToFrame.
    void RunAheadTo(int64_t frame);

    // The engine's state now, to Restore later (into this engine or another
    // of the same song, rate, volumes and mask). Null when not Ready.
    std::unique_ptr<const Snapshot> Save() const;
    // Puts the engine in the state `snapshot` saved. False, changing
    // nothing, unless the snapshot is of this song, rate, volumes and mask.
    bool Restore(const Snapshot& snapshot);

    // Runs the next tick without mixing the chip, to look ahead through a
    // song cheaply (finding its loops). The sound no longer follows the
    // piece: Restart before rendering again.
    void SkipTick();

    // Chip mute bits: 0-2 FM channels 1-3, 6-8 SSG channels A-C.
    void SetChannelMask(uint32_t mask);
    uint32_t ChannelMask() const { return channelMask_; }
    void SetVolumes(Volumes volumes);
    const Volumes& GetVolumes() const { return volumes_; }
    // Not owned; nullptr removes it.
    void SetRegisterWriteObserver(RegisterWriteObserver* observer) { observer_ = observer; }

    uint32_t Rate() const { return rate_; }
    // The length of the tick run last (before the first, of the first at the
    // song's tempo), in frames. Ticks change length where the song changes
    // its tempo: playback::TickMap turns ticks into frames.
    int32_t FramesPerTick() const;
    // Frames per tick at `tempo` and `rate`: the whole frames of
    // 60 / (tempo * 16) / 1.1 seconds, rounded to the nearest, at least 1.
    static int32_t TickLength(int32_t tempo, uint32_t rate);
    TempoStatus Tempo() const;
    int64_t Frame() const { return frame_; }  // frames rendered since the start
    int64_t Tick() const;                     // ticks run since the start
    PartStatus Part(int part) const;          // part 0..5
    // What part 0..5 sounds after the ticks run so far. Cheap enough to ask
    // for every part at every audio quantum. The calls stay valid until the
    // engine renders, ticks or starts again.
    Sounding NowSounding(int part) const;
    const song::Song& Song() const { return *song_; }
    const std::shared_ptr<const song::Song>& SharedSong() const { return song_; }
    const FM::OPN& Chip() const { return *chip_; }

  private:
    class ChipTap;

    // A start at tick 0: on a new chip, or on the same chip after its reset.
    void Start(bool newChip);

    std::shared_ptr<const song::Song> song_;
    uint32_t rate_;
    Volumes volumes_;
    uint32_t channelMask_;
    std::unique_ptr<FM::OPN> chip_;
    std::unique_ptr<ChipTap> tap_;
    std::unique_ptr<sequencer::Sequencer> sequencer_;
    RegisterWriteObserver* observer_ = nullptr;
    int64_t frame_ = 0;
    bool ready_ = false;
};

}  // namespace engine
