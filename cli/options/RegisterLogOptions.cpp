#include "options/RegisterLogOptions.h"

#include <chrono>

#include "CliError.h"
#include "commands/LogInput.h"
#include "reglog/Formats.h"
#include "reglog/RegisterLog.h"
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

// A date in the tag's own form, as numbers; nullopt for another form.
struct DateParts {
    int year = 0;
    unsigned month = 1;  // 1 when the form leaves it out
    unsigned day = 1;
};

std::optional<DateParts> ParseDate(const std::string& date) {
    auto number = [&](std::size_t at, std::size_t n) -> std::optional<int> {
        int value = 0;
        for (std::size_t i = at; i < at + n; ++i) {
            if (date[i] < '0' || date[i] > '9') return std::nullopt;
            value = value * 10 + (date[i] - '0');
        }
        return value;
    };
    const std::size_t size = date.size();
    if (size != 4 && size != 7 && size != 10) return std::nullopt;
    if ((size >= 7 && date[4] != '/') || (size == 10 && date[7] != '/')) return std::nullopt;
    const auto year = number(0, 4);
    const auto month = size >= 7 ? number(5, 2) : 1;
    const auto day = size == 10 ? number(8, 2) : 1;
    if (!year || !month || !day) return std::nullopt;
    return DateParts{*year, static_cast<unsigned>(*month), static_cast<unsigned>(*day)};
}

bool IsRealDate(const DateParts& date) {
    return std::chrono::year_month_day(std::chrono::year(date.year), std::chrono::month(date.month),
                                       std::chrono::day(date.day))
        .ok();
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
                      "Register logs: the title (default: the song's base name)");
    render.add_option("--author", tags.author, "Register logs: the author");
    render.add_option("--notes", tags.notes, "Register logs: notes");
    render.add_option("--date", tags.date, "Register logs: the date, yyyy[/mm[/dd]]");
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
        const std::optional<DateParts> date = ParseDate(*options.tags.date);
        if (!date) {
            throw CliError(kExitUsage, "--date: '" + *options.tags.date +
                                           "' is not yyyy, yyyy/mm or yyyy/mm/dd");
        }
        if (!IsRealDate(*date)) {
            throw CliError(kExitUsage, "--date: '" + *options.tags.date +
                                           "' is no real date (months 01-12, and a day that "
                                           "the month has)");
        }
    }
}

}  // namespace cli
