#include "commands/SongFile.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "engine/Settings.h"
#include "mml/Warnings.h"
#include "platform/FileKind.h"
#include "platform/Module.h"
#include "report/Diagnostics.h"

namespace cli {

namespace {

// $XDG_CONFIG_HOME/velnari/velnari.ini; empty without any absolute folder to
// put it in.
std::string UserSettingsFile() {
    std::filesystem::path base;
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config != nullptr && config[0] == '/') {
        base = config;
    } else {
        const char* home = std::getenv("HOME");
        if (home == nullptr || home[0] != '/') return {};
        base = std::filesystem::path(home) / ".config";
    }
    return (base / "velnari" / "velnari.ini").string();
}

CliError Unreadable(const std::string& path) {
    return CliError(kExitFailure, "cannot read '" + path + "' (missing, unreadable or empty)");
}

}  // namespace

std::string SettingsFile() {
    const std::string beside = platform::SettingsPathForModule();
    if (!beside.empty() && platform::IsRegularFile(beside.c_str())) return beside;
    const std::string user = UserSettingsFile();
    if (!user.empty() && platform::IsRegularFile(user.c_str())) return user;
    return beside;
}

Tarsel::CompileResult CompileSongFile(const std::string& path) {
    Tarsel::FileCompileResult compiled = Tarsel::CompileFile(path);
    if (compiled.fault) {
        const std::string shown = compiled.fault->message;
        throw SongFault(std::move(*compiled.fault), shown);
    }
    if (!compiled.song) throw Unreadable(path);
    return Tarsel::CompileResult(std::move(compiled));
}

std::shared_ptr<const song::Song> CompileSongFile(const std::string& path,
                                                  const DiagnosticOptions& diagnostics) {
    Tarsel::FileReviewResult reviewed = Tarsel::ReviewFile(path);
    if (!reviewed.fault && !reviewed.song) throw Unreadable(path);
    return AcceptReview(reviewed, reviewed.warnings, path, diagnostics);
}

std::shared_ptr<const song::Song> AcceptReview(Tarsel::CompileResult& reviewed,
                                               const std::vector<Tarsel::Warning>& warnings,
                                               const std::string& path,
                                               const DiagnosticOptions& diagnostics) {
    if (reviewed.fault) {
        const std::string shown = ShowFault(*reviewed.fault, path, diagnostics);
        throw SongFault(std::move(*reviewed.fault), shown);
    }
    std::fputs(ShowWarnings(warnings, path).c_str(), stderr);
    if (diagnostics.warningsAreErrors && !warnings.empty()) {
        throw CliError(kExitFailure, "'" + path + "' has warnings and --werror was given");
    }
    return reviewed.song;
}

engine::Volumes ResolveVolumes(std::optional<int32_t> fmVolume, std::optional<int32_t> ssgVolume) {
    if (fmVolume && ssgVolume) return {*fmVolume, *ssgVolume};
    const std::string file = SettingsFile();
    std::optional<engine::UnreadableSetting> unreadable;
    const engine::Volumes settings = engine::ReadVolumes(file, &unreadable);
    if (unreadable) {
        // The plug-in reads the file the same way, silently; a value with a
        // comment after it ("-12 ; quieter") is the usual cause.
        std::fprintf(
            stderr, "velnari: warning: %s: %s '%s' is not a whole number; using 0%s\n",
            file.c_str(), unreadable->key.c_str(), unreadable->value.c_str(),
            unreadable->key == "FMVolume" ? " for it and for PSGVolume, as the plug-in does" : "");
    }
    return {fmVolume.value_or(settings.fm), ssgVolume.value_or(settings.ssg)};
}

}  // namespace cli
