#pragma once
// A song file compiled once for everything a command does with it (the
// look-ahead, the mix, every stem), and the output volumes it plays at.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "CliError.h"
#include "engine/Engine.h"
#include "mml/Compile.h"
#include "song/Song.h"

namespace cli {

// A song that does not compile, with its fault as the compiler reported it.
// The program prints the fault's message as the plug-in's message box shows
// it (without the caption).
class SongFault : public CliError {
  public:
    explicit SongFault(Tarsel::CompileFault fault)
        : CliError(kExitFailure, fault.message), fault_(std::move(fault)) {}

    const Tarsel::CompileFault& Fault() const { return fault_; }

  private:
    Tarsel::CompileFault fault_;
};

// Compiles the file. Throws SongFault for a compile fault and CliError
// (failure) for a file that cannot be read.
std::shared_ptr<const song::Song> CompileSongFile(const std::string& path);

// The volumes given on the command line; a section not given takes its value
// from the settings file beside the program, as the plug-in reads its own.
engine::Volumes ResolveVolumes(std::optional<int32_t> fmVolume, std::optional<int32_t> ssgVolume);

}  // namespace cli
