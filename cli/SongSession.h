#pragma once
// One song ready to play: the compiled file in a Player at the render rate,
// with the command line's volumes and channel mask applied. It is the frame
// source of a render, and its sequencer can be run ahead to find the loops.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "LoopDetector.h"
#include "Renderer.h"

class Player;
class Song;

class SongSession : public FrameSource {
  public:
    // Compiles `file` and starts it at tick 0. A compile fault has been shown
    // through the error reporter when this throws CliError (failure); a file
    // that cannot be read throws without a report having been made.
    // Volumes left unset come from the settings file, as the plug-in reads them.
    SongSession(const std::string& file, uint32_t rate, std::optional<int32_t> fmVolume,
                std::optional<int32_t> ssgVolume, uint32_t chipMask);
    ~SongSession() override;

    void Render(int16_t* frames, int32_t count) override;

    // Runs the song ahead tick by tick, without mixing. A session used this
    // way is for looking ahead only: render from a fresh one.
    TickSource& Ticks();

    int32_t SamplesPerTick() const;
    const Song& GetSong() const;

  private:
    class Ahead;

    std::unique_ptr<Player> player_;
    std::unique_ptr<Ahead> ahead_;
};
