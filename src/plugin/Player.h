#pragma once
// The host adapter behind one open file: the settings file's volumes, the
// output format agreed with the host, and the host's byte counts turned into
// frames for the engine that plays the song.
//
// Life: constructed (volumes known) -> Open (song compiled, engine at tick 0)
// -> any number of Render and Seek calls -> destroyed. Output is always 16-bit
// signed stereo, interleaved left/right, at the host's rate.
//
// Seeking restarts the piece, unless the settings file says "ExactSeek=1":
// then a seek plays the piece ahead to the position asked for, and the audio
// from there is, byte for byte, what a fresh Open renders at that position.
//
// Deliberate choices:
//   - Open refuses output rates the engine cannot play at (outside
//     engine::Engine::kMinRate..kMaxRate), after writing the format fields,
//     so the host still sees them.
//   - Render before a successful Open renders silence; a null buffer is left
//     alone and counts as 0 bytes.
//   - With exact seeking Open tells the host the piece is seekable, and a
//     seek goes at most kMaxExactSeekMs into the piece: running ahead costs
//     about as much as playing, and no host request may keep it busy for long.
//   - An exact seek forward renders only the distance: an engine that has
//     only ever rendered since its fresh start stands exactly where a fresh
//     one would after as many frames.

#include <cstdint>
#include <memory>

#include "engine/Engine.h"
#include "playback/Snapshots.h"
#include "plugin/SoundInfo.h"

namespace plugin {

class Player {
  public:
    // Volumes from the settings file beside the module (engine/Settings.h).
    Player();
    static constexpr uint32_t kMaxExactSeekMs = 30 * 60 * 1000;

    // Volumes and seeking given.
    explicit Player(engine::Volumes volumes, bool exactSeek = false);
    ~Player();

    Player(const Player&) = delete;
    Player& operator=(const Player&) = delete;

    // Writes the output format into `info` (rate 44100 when the host gave 0),
    // compiles the file and starts it. False on a null `info`, a file that
    // cannot be read (silently) or compiled (the fault is shown through the
    // platform's error reporter), or a rate the engine cannot play at.
    bool Open(const char* fileName, SoundInfo* info);
    // Fills size / 4 whole frames (trailing bytes untouched) and returns
    // `size`: a piece never ends.
    uint32_t Render(void* buffer, uint32_t size);
    // Starts the piece again from its first tick and returns 0; with exact
    // seeking, plays it ahead to `positionMs` (at most kMaxExactSeekMs) and
    // returns the position reached, in milliseconds.
    uint32_t Seek(uint32_t positionMs = 0);

    // The engine playing the song, for tools and tests; null before a
    // successful Open.
    engine::Engine* Engine() { return engine_.get(); }
    const engine::Engine* Engine() const { return engine_.get(); }
    const engine::Volumes& Volumes() const { return volumes_; }
    bool ExactSeek() const { return exactSeek_; }
    const SoundInfo& Format() const { return format_; }

  private:
    engine::Volumes volumes_;
    bool exactSeek_ = false;
    std::unique_ptr<engine::Engine> engine_;
    // With exact seeking: the engine's states along the piece as it plays
    // and seeks, so a seek into what it has been through lands at once.
    std::shared_ptr<playback::Snapshots> snapshots_;
    uint32_t bytesPerFrame_ = 4;
    SoundInfo format_{};
};

}  // namespace plugin
