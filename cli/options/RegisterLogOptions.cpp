#include "options/RegisterLogOptions.h"

#include "CliError.h"
#include "commands/LogInput.h"
#include "reglog/Formats.h"
#include "reglog/RegisterLog.h"
#include "song/Tags.h"
#include "text/Utf8.h"

// Deliberate choices:
// - --mute, --solo and --stems are refused for a log output: several
//   registers (the SSG mixer, the key-on register) serve all channels, so a
//   file cannot leave one channel out cleanly; a player mutes better.
// - --rate, the volumes, --loops and --fade are accepted for a log output but
//   do nothing (a log counts time in 1/44100 s, a player sets its own volume
//   and repeats the loop itself): a warning says so.
// - Tags must be UTF-8; only the notes may hold line breaks; a date is
//   yyyy, yyyy/mm or yyyy/mm/dd, as the VGM tag defines it, and a real one
//   (month 01-12, a day that month has in that year).

namespace cli {

namespace {

bool Given(const CLI::App& render, const char* option) {
    return render.count(option) > 0;
}

void CheckTag(const char* option, const std::optional<std::string>& value, bool lines) {
    if (!value) return;
    if (!text::IsValidUtf8(*value)) {
        throw CliError(kExitUsage, std::string(option) + ": the text is not UTF-8");
    }
    if (!lines && value->find_first_of("\r\n") != std::string::npos) {
        throw CliError(kExitUsage, std::string(option) + ": only --notes may hold line breaks");
    }
}

// A log played or rendered to audio starts at a time, not a tick.
void CheckLogInputMix(const MixOptions& mix) {
    if (mix.startTick) {
        throw CliError(kExitUsage,
                       "--start-tick needs a song; a register log has no ticks (use --start)");
    }
}

}  // namespace

void CheckPlayLogOptions(const PlayOptions& options) {
    if (!IsRegisterLogInput(options.song)) return;
    if (options.watch) {
        throw CliError(kExitUsage,
                       "--watch needs a song to compile; '" + options.song + "' is a register log");
    }
    CheckLogInputMix(options.mix);
}

void AddLogTagOptions(CLI::App& render, LogTagOptions& tags) {
    render.add_option("--title", tags.title,
                      "Register logs: the title (default: the song's #title, else its base name)");
    render.add_option("--author", tags.author, "Register logs: the author (default: #composer)");
    render.add_option("--notes", tags.notes, "Register logs: notes (default: #notes)");
    render.add_option("--date", tags.date,
                      "Register logs: the date, yyyy[/mm[/dd]] (default: #date)");
}

void CheckRegisterLogOptions(const CLI::App& render, const RenderOptions& options,
                             std::string& warnings) {
    const bool logOut = reglog::IsRegisterLogPath(options.output);
    const bool logIn = IsRegisterLogInput(options.song);
    if (!logOut) {
        for (const char* tag : {"--title", "--author", "--notes", "--date"}) {
            if (Given(render, tag)) {
                throw CliError(kExitUsage, std::string(tag) + " is for register-log outputs (" +
                                               reglog::LogFileExtensions() + ")");
            }
        }
        if (logIn && options.stems) {
            throw CliError(kExitUsage, "--stems needs a song; a register log has no parts");
        }
        if (logIn) CheckLogInputMix(options.mix);
        return;
    }
    if (logIn) {
        throw CliError(kExitUsage, "'" + options.song +
                                       "' is a register log already; render a "
                                       "song to a log, or a log to audio");
    }
    for (const char* refused : {"--start", "--start-tick"}) {
        if (Given(render, refused)) {
            throw CliError(kExitUsage, std::string(refused) +
                                           " cannot be used for a register log: a log holds the "
                                           "song from its beginning");
        }
    }
    for (const char* refused : {"--mute", "--solo", "--stems"}) {
        if (Given(render, refused)) {
            throw CliError(kExitUsage,
                           std::string(refused) +
                               " cannot be used for a register log: the SSG mixer and key-on "
                               "registers serve every channel (mute in the player instead)");
        }
    }
    const std::pair<const char*, const char*> ignored[] = {
        {"--rate", "a log counts time in 1/44100 s"},
        {"--fm-volume", "a player sets its own volume"},
        {"--ssg-volume", "a player sets its own volume"},
        {"--loops", "the log holds the song to the end of its first whole loop"},
        {"--fade", "a player fades out itself"},
    };
    for (const auto& [option, why] : ignored) {
        if (Given(render, option)) {
            warnings += std::string("velnari: warning: ") + option +
                        " does not apply to a register log (" + why + ")\n";
        }
    }
    CheckTag("--title", options.tags.title, false);
    CheckTag("--author", options.tags.author, false);
    CheckTag("--notes", options.tags.notes, true);
    CheckTag("--date", options.tags.date, false);
    if (options.tags.date) {
        if (const auto fault = song::DateFault(*options.tags.date)) {
            throw CliError(kExitUsage, "--date: " + *fault);
        }
    }
}

}  // namespace cli
