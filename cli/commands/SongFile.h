#pragma once
// A song file compiled once for everything a command does with it (the
// look-ahead, the mix, every stem), and the output volumes it plays at.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "CliError.h"
#include "engine/Engine.h"
#include "mml/Compile.h"
#include "mml/Warnings.h"
#include "options/Options.h"
#include "song/Song.h"

namespace cli {

// A song that does not compile, with its fault as the compiler reported it
// and as the program prints it: what() is the whole text, its line end
// included (by default as the plug-in's message box shows it, without the
// caption).
class SongFault : public CliError {
  public:
    SongFault(Tarsel::CompileFault fault, const std::string& shown)
        : CliError(kExitFailure, shown), fault_(std::move(fault)) {}

    const Tarsel::CompileFault& Fault() const { return fault_; }

  private:
    Tarsel::CompileFault fault_;
};

// Compiles the file: the result holds the song and the extensions it uses.
// Throws SongFault for a compile fault and CliError (failure) for a file that
// cannot be read.
Tarsel::CompileResult CompileSongFile(const std::string& path);

// The settings file the program reads: velnari.ini beside the program when
// there is one (first, as the plug-in reads the one beside itself), else the
// user's $XDG_CONFIG_HOME/velnari/velnari.ini, with ~/.config in place of an
// unset, empty or relative XDG_CONFIG_HOME. The first file that exists is
// read whole; the other is not looked at. The path beside the program when
// neither exists (which reads as no settings).
std::string SettingsFile();
// Compiles and reviews the file, as render and play do before they start:
// prints its warnings on standard error, shows a fault in the chosen format,
// and under --werror fails (CliError) when there is any warning.
std::shared_ptr<const song::Song> CompileSongFile(const std::string& path,
                                                  const DiagnosticOptions& diagnostics);

// What CompileSongFile does with a song once read and reviewed (`reviewed`
// and its `warnings`), for a caller that read the text itself; the fault is
// moved into the SongFault thrown.
std::shared_ptr<const song::Song> AcceptReview(Tarsel::CompileResult& reviewed,
                                               const std::vector<Tarsel::Warning>& warnings,
                                               const std::string& path,
                                               const DiagnosticOptions& diagnostics);

// The volumes given on the command line; a section not given takes its value
// from the settings file (SettingsFile). A value there that is not a whole
// number is reported once on standard error.
engine::Volumes ResolveVolumes(std::optional<int32_t> fmVolume, std::optional<int32_t> ssgVolume);

}  // namespace cli
