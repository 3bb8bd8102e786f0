#pragma once
// The object behind one open file: the chip model, the compiled song and the
// sequencer that plays it, the output volumes from the settings file, and the
// output format agreed with the host.
//
// Life: constructed (volumes known) -> Open (song loaded, sequencer at tick 0)
// -> any number of Render and Seek calls -> destroyed. Output is always 16-bit
// signed stereo, interleaved left/right, at the host's rate.
//
// Deliberate choices:
//   - Open refuses output rates the chip model cannot serve (outside
//     Sequencer::kMinRate..kMaxRate), after writing the format fields, so the
//     host still sees them.
//   - Render before a successful Open, or after a failed restart, renders
//     silence; a null buffer is left alone and counts as 0 bytes.

#include <cstdint>
#include <memory>
#include <string>

#include "fm/OPN.h"
#include "plugin/SoundInfo.h"

class Sequencer;
class Song;

class Player {
  public:
    // Output volumes in half-decibel steps, as the chip's SetVolumeFM and
    // SetVolumePSG take them.
    struct Volumes {
        int32_t fm = 0;
        int32_t ssg = 0;
    };

    // Reads "FMVolume" and then "PSGVolume" from section "velnari" of the
    // settings file (default "0" each), each converted as a whole decimal
    // integer. A value that does not convert ends the reading: it and every
    // value not yet read stay 0 (so a bad "FMVolume" gives 0 for both, a bad
    // "PSGVolume" keeps the FM volume).
    static Volumes ReadVolumes(const std::string& settingsFile);

    // Volumes from the settings file beside the module.
    Player();
    // Volumes given, e.g. by the command line.
    Player(int32_t fmVolume, int32_t ssgVolume);
    // Destroys the song, then the sequencer, then the chip.
    ~Player();

    Player(const Player&) = delete;
    Player& operator=(const Player&) = delete;

    // Writes the output format into `info` (rate 44100 when the host gave 0),
    // loads the song and starts it. False on a null `info`, a song that does
    // not load, or a rate the chip cannot serve.
    bool Open(const char* fileName, SoundInfo* info);
    // Replaces the song by the compiled file; false (and no song) on failure.
    bool LoadSong(const char* fileName);
    // A new sequencer at tick 0 on a reset chip, with the stored volumes
    // applied. False without a song or when the sequencer cannot start (the
    // new sequencer is kept and renders silence).
    bool Restart(uint32_t rate);
    // Fills size / 4 whole frames (trailing bytes untouched) and returns
    // `size`: a piece never ends.
    uint32_t Render(void* buffer, uint32_t size);
    // Starts the piece again at the rate of the last successful Open.
    void Seek();

    // Read access for tools.
    FM::OPN& Chip() { return chip_; }
    const FM::OPN& Chip() const { return chip_; }
    Song* GetSong() const { return song_.get(); }
    Sequencer* GetSequencer() const { return sequencer_.get(); }
    int32_t FMVolume() const { return volumes_.fm; }
    int32_t SSGVolume() const { return volumes_.ssg; }
    const SoundInfo& Format() const { return format_; }

  private:
    FM::OPN chip_;
    std::unique_ptr<Sequencer> sequencer_;
    std::unique_ptr<Song> song_;
    Volumes volumes_;
    uint32_t bytesPerFrame_ = 4;
    SoundInfo format_{};
};
