#include "SongFile.h"

#include "engine/Settings.h"
#include "platform/Module.h"

namespace cli {

std::shared_ptr<const song::Song> CompileSongFile(const std::string& path) {
    Tarsel::FileCompileResult compiled = Tarsel::CompileFile(path);
    if (compiled.fault) throw SongFault(std::move(*compiled.fault));
    if (!compiled.song) {
        throw CliError(kExitFailure, "cannot read '" + path + "' (missing, unreadable or empty)");
    }
    return compiled.song;
}

engine::Volumes ResolveVolumes(std::optional<int32_t> fmVolume, std::optional<int32_t> ssgVolume) {
    if (fmVolume && ssgVolume) return {*fmVolume, *ssgVolume};
    const engine::Volumes settings = engine::ReadVolumes(platform::SettingsPathForModule());
    return {fmVolume.value_or(settings.fm), ssgVolume.value_or(settings.ssg)};
}

}  // namespace cli
