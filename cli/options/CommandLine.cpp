#include "options/CommandLine.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <sstream>

#include "CliError.h"
#include "options/PartSelection.h"
#include "options/RegisterLogOptions.h"
#include "playback/StartPosition.h"
#include "reglog/Formats.h"
#include "velnari/Version.h"

namespace cli {

// Deliberate limits on option values:
// - rates 8000 to 192000 Hz: the chip's clock dividers are sized for audio rates;
// - volumes -192 to +20 half-decibels: -192 silences a section and the chip caps
//   the FM gain at +20; larger SSG gains would overflow its level table;
// - --seconds and --max-seconds at most 24 hours, --fade at most one hour, so
//   a frame count always fits comfortably in 64 bits and typos fail early.

namespace {

constexpr double kLongestRender = 24.0 * 3600.0;
constexpr double kLongestFade = 3600.0;

// A range of seconds. CLI11's own range check lets NaN through (every
// comparison with it is false), and "inf" or "nan" parse as numbers.
CLI::Validator Seconds(double least, double most) {
    std::ostringstream description;
    description << "FLOAT in [" << least << " - " << most << "]";
    return CLI::Validator(
        [least, most](std::string& text) -> std::string {
            double value = 0.0;
            if (!CLI::detail::lexical_cast(text, value)) return "'" + text + "' is not a number";
            if (!std::isfinite(value) || value < least || value > most) {
                std::ostringstream message;
                message << "Value " << text << " not in range [" << least << " - " << most << "]";
                return message.str();
            }
            return {};
        },
        description.str());
}

// A range of whole numbers, written in base 10: "010" is ten (CLI11 alone
// would read it as octal, and "0x10" as sixteen), and text that is no whole
// number ("1e3", "abc") is named as such rather than as out of range. The
// value is handed on in plain decimal. `type` is the help's name for it.
CLI::Validator WholeNumber(int64_t least, int64_t most, const char* type = "INT") {
    std::ostringstream description;
    description << type << " in [" << least << " - " << most << "]";
    return CLI::Validator(
        [least, most](std::string& text) -> std::string {
            const std::size_t sign = !text.empty() && (text[0] == '+' || text[0] == '-');
            if (text.size() == sign ||
                text.find_first_not_of("0123456789", sign) != std::string::npos) {
                return "'" + text + "' is not a whole number";
            }
            int64_t value = 0;
            const char* first = text.data() + (text[0] == '+');
            const std::errc error = std::from_chars(first, text.data() + text.size(), value).ec;
            if (error != std::errc() || value < least || value > most) {
                return "Value " + text + " not in range " + std::to_string(least) + " to " +
                       std::to_string(most);
            }
            text = std::to_string(value);
            return {};
        },
        description.str());
}

// The options shared by render and play, bound to a MixOptions. The part
// lists are kept as text until parsing is over.
struct MixBinding {
    std::string mute;
    std::string solo;
    int32_t fmVolume = 0;
    int32_t ssgVolume = 0;
    double seconds = 0.0;
    double fade = 0.0;
    CLI::Option* secondsOption = nullptr;
    CLI::Option* fadeOption = nullptr;
    CLI::Option* fmOption = nullptr;
    CLI::Option* ssgOption = nullptr;
    CLI::Option* muteOption = nullptr;
    CLI::Option* soloOption = nullptr;
    std::string start;
    int64_t startTick = 0;
    CLI::Option* startOption = nullptr;
    CLI::Option* startTickOption = nullptr;
    std::string bars;
    CLI::Option* barsOption = nullptr;
};

// "5-8" or "5": bars counted from 1, the last not before the first.
MixOptions::Bars ParseBars(const std::string& text) {
    const std::size_t dash = text.find('-');
    const std::string first = text.substr(0, dash);
    const std::string last = dash == std::string::npos ? first : text.substr(dash + 1);
    MixOptions::Bars bars;
    const auto whole = [](const std::string& part, int64_t& value) {
        const char* end = part.data() + part.size();
        const auto [at, error] = std::from_chars(part.data(), end, value);
        return !part.empty() && error == std::errc() && at == end;
    };
    constexpr int64_t kMostBars = int64_t{1} << 30;
    if (!whole(first, bars.first) || !whole(last, bars.last) || bars.first < 1 ||
        bars.last < bars.first || bars.last > kMostBars) {
        throw CliError(kExitUsage, "--bars " + text +
                                       ": give the first and last bar, counted from 1, "
                                       "as 5-8 (or one bar, as 5)");
    }
    return bars;
}

void AddRate(CLI::App& command, uint32_t& rate) {
    command.add_option("--rate", rate, "Output rate in Hz (default 44100)")
        ->transform(WholeNumber(8000, 192000, "UINT"));
}

void AddMixOptions(CLI::App& command, MixOptions& mix, MixBinding& binding) {
    AddRate(command, mix.rate);
    auto* loops = command
                      .add_option("--loops", mix.loops,
                                  "Passes of every part's loop before the fade (default 2)")
                      ->transform(WholeNumber(1, 1000));
    binding.secondsOption =
        command.add_option("--seconds", binding.seconds, "Render exactly this many seconds")
            ->check(Seconds(0.0, kLongestRender));
    loops->excludes(binding.secondsOption);
    binding.fadeOption =
        command
            .add_option("--fade", binding.fade,
                        "Fade-out in seconds (default 5 after --loops, none with --seconds)")
            ->check(Seconds(0.0, kLongestFade));
    command
        .add_option("--max-seconds", mix.maxSeconds,
                    "Cut a loop-based render at this length (default 600)")
        ->check(Seconds(1.0, kLongestRender));
    binding.muteOption =
        command.add_option("--mute", binding.mute, "Silence these parts, e.g. 1,4 (parts 1-6)");
    binding.soloOption =
        command.add_option("--solo", binding.solo, "Play only these parts, e.g. 2,5");
    binding.muteOption->excludes(binding.soloOption);
    binding.fmOption = command
                           .add_option("--fm-volume", binding.fmVolume,
                                       "FM volume in half-decibel steps (overrides the settings)")
                           ->transform(WholeNumber(-192, 20));
    binding.ssgOption = command
                            .add_option("--ssg-volume", binding.ssgVolume,
                                        "SSG volume in half-decibel steps (overrides the settings)")
                            ->transform(WholeNumber(-192, 20));
    binding.startOption = command.add_option(
        "--start", binding.start, "Begin the output here: seconds, or m:ss.s, into the piece");
    binding.startTickOption =
        command.add_option("--start-tick", binding.startTick, "Begin the output at this tick")
            ->transform(WholeNumber(0, int64_t{1} << 40));
    binding.startOption->excludes(binding.startTickOption);
    binding.barsOption = command.add_option(
        "--bars", binding.bars,
        "Only bars FIRST-LAST (e.g. 5-8), from the first's first tick; play repeats them");
    for (CLI::Option* other :
         {loops, binding.secondsOption, binding.startOption, binding.startTickOption}) {
        binding.barsOption->excludes(other);
    }
}

void AddDiagnosticOptions(CLI::App& command, DiagnosticOptions& options) {
    command
        .add_option_function<std::string>(
            "--format",
            [&options](const std::string& format) {
                options.format = format == "gnu" ? DiagnosticOptions::Format::kGnu
                                                 : DiagnosticOptions::Format::kPlugin;
            },
            "How compile faults are shown: plugin (as the plug-in's message box, the default) "
            "or gnu (FILE:LINE:COL: error: TEXT)")
        ->check(CLI::IsMember({"plugin", "gnu"}));
    command.add_flag("--werror", options.warningsAreErrors, "Treat warnings as errors");
}

// Copies what the user gave into the MixOptions once CLI11 has parsed.
void FinishMixOptions(MixOptions& mix, const MixBinding& binding) {
    if (binding.secondsOption->count() > 0) mix.seconds = binding.seconds;
    if (binding.fadeOption->count() > 0) mix.fadeSeconds = binding.fade;
    if (binding.fmOption->count() > 0) mix.fmVolume = binding.fmVolume;
    if (binding.ssgOption->count() > 0) mix.ssgVolume = binding.ssgVolume;
    if (binding.startTickOption->count() > 0) mix.startTick = binding.startTick;
    if (binding.barsOption->count() > 0) mix.bars = ParseBars(binding.bars);
    if (binding.startOption->count() > 0) {
        mix.startSeconds = playback::ParseStartTime(binding.start);
        if (!mix.startSeconds || *mix.startSeconds > kLongestRender) {
            throw CliError(kExitUsage, "--start " + binding.start +
                                           ": give seconds (75.5) or minutes and seconds "
                                           "(1:15.5), at most 24 hours");
        }
    }
    if (binding.muteOption->count() > 0) {
        mix.muteParts = PartSelection::Parse(binding.mute);
        mix.chipMask = PartSelection::ChipMaskMuting(mix.muteParts);
    } else if (binding.soloOption->count() > 0) {
        mix.soloParts = PartSelection::Parse(binding.solo);
        mix.chipMask = PartSelection::ChipMaskMuting(PartSelection::kAllParts & ~mix.soloParts);
    }
}

// The first argument names the command, or is an option of the program
// itself (--help, --version); anything else is refused by its name.
void RequireKnownCommand(const CLI::App& app, const std::vector<std::string>& args) {
    std::string names;
    for (const CLI::App* command : app.get_subcommands({})) {
        if (args.size() > 1 && args[1] == command->get_name()) return;
        names += (names.empty() ? "" : ", ") + command->get_name();
    }
    if (args.size() > 1 && args[1].starts_with("-")) return;
    throw CliError(kExitUsage, (args.size() > 1 ? "unknown command '" + args[1] + "'"
                                                : std::string("no command given")) +
                                   "; the commands are " + names + " (velnari --help)");
}

}  // namespace

ParseOutcome ParseCommandLine(const std::vector<std::string>& args) {
    CLI::App app{"velnari: plays MML songs on a software YM2203", "velnari"};
    app.require_subcommand(1);
    app.set_version_flag("--version", std::string("velnari ") + velnari::kVersion);

    RenderOptions render;
    MixBinding renderMix;
    auto* renderCommand = app.add_subcommand(
        "render", "Render a song to an audio file (.wav, .flac, .ogg) or a register log (" +
                      reglog::LogFileExtensions() + "), or a log to audio");
    renderCommand->add_option("SONG", render.song, "The MML file, or a register log")->required();
    auto* outputOption = renderCommand->add_option(
        "-o,--output", render.output,
        "Output file; the extension picks the format; - writes raw 16-bit stereo to stdout, "
        "as does a device such as /dev/null");
    renderCommand->add_flag("--stems", render.stems,
                            "Also write one file per used part (OUT-1 ... OUT-6)");
    AddMixOptions(*renderCommand, render.mix, renderMix);
    AddLogTagOptions(*renderCommand, render.tags);
    AddDiagnosticOptions(*renderCommand, render.diagnostics);

    PlayOptions play;
    MixBinding playMix;
    auto* playCommand = app.add_subcommand("play", "Play a song through the sound card");
    playCommand->add_option("SONG", play.song, "The MML file, or a register log")->required();
    AddMixOptions(*playCommand, play.mix, playMix);
    playCommand->add_flag("--watch", play.watch,
                          "Play on and reload the song whenever its file is saved");
    AddDiagnosticOptions(*playCommand, play.diagnostics);

    CheckOptions check;
    auto* checkCommand =
        app.add_subcommand("check", "Compile songs and report their faults and warnings");
    checkCommand->add_option("SONG", check.songs, "MML files")->required();
    checkCommand->add_flag("--plain", check.plain,
                           "Report every use of an extension of the language as an error, for "
                           "songs that other players of the dialect must play");
    AddDiagnosticOptions(*checkCommand, check.diagnostics);

    InfoOptions info;
    auto* infoCommand =
        app.add_subcommand("info", "Describe a song: tempo, parts, loop lengths, definitions");
    infoCommand->add_option("SONG", info.song, "The MML file, or a register log")->required();
    infoCommand->add_flag("--json", info.json, "Print one JSON object");
    infoCommand->add_flag("--notes", info.notes,
                          "List every note of every part over the first whole loop");
    double infoSeconds = 0.0;
    auto* infoSecondsOption =
        infoCommand
            ->add_option("--seconds", infoSeconds, "With --notes: list this many seconds instead")
            ->check(Seconds(0.0, kLongestRender));
    AddRate(*infoCommand, info.rate);
    infoCommand
        ->add_option("--max-seconds", info.maxSeconds,
                     "How far to look for the loops (default 600)")
        ->check(Seconds(1.0, kLongestRender));

    VoicesOptions voices;
    auto* voicesCommand = app.add_subcommand(
        "voices", "Print the FM voices a register log plays, as voice definitions");
    voicesCommand
        ->add_option("LOG", voices.log, "The register log (" + reglog::LogFileExtensions() + ")")
        ->required();

    // Arguments left over are reported here, in the order given (CLI11 would
    // list them backwards).
    for (CLI::App* command : app.get_subcommands({})) command->allow_extras();

    ParseOutcome outcome;
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    if (!reversed.empty()) reversed.pop_back();  // the program name
    try {
        RequireKnownCommand(app, args);
        app.parse(reversed);
        std::vector<std::string> extras;
        for (const CLI::App* command : app.get_subcommands()) {
            for (const std::string& extra : command->remaining()) extras.push_back(extra);
        }
        if (!extras.empty()) {
            std::string list;
            for (std::size_t i = 1; i < args.size(); ++i) {
                const auto it = std::find(extras.begin(), extras.end(), args[i]);
                if (it == extras.end()) continue;
                list += (list.empty() ? "" : " ") + args[i];
                extras.erase(it);
            }
            throw CliError(kExitUsage, "unexpected arguments: " + list +
                                           "\nRun with --help for more information.");
        }
        if (renderCommand->parsed()) {
            FinishMixOptions(render.mix, renderMix);
            if (outputOption->count() > 0 && render.output.empty()) {
                throw CliError(
                    kExitUsage,
                    "-o: the file name is empty (give a file, or - for standard output)");
            }
            if (render.stems && render.output == "-") {
                throw CliError(kExitUsage, "--stems needs an output file, not -");
            }
            CheckRegisterLogOptions(*renderCommand, render, outcome.standardError);
            outcome.invocation = render;
        } else if (playCommand->parsed()) {
            FinishMixOptions(play.mix, playMix);
            CheckPlayLogOptions(play);
            outcome.invocation = play;
        } else if (checkCommand->parsed()) {
            outcome.invocation = check;
        } else if (voicesCommand->parsed()) {
            outcome.invocation = voices;
        } else {
            if (infoSecondsOption->count() > 0) {
                if (!info.notes) throw CliError(kExitUsage, "--seconds needs --notes");
                info.seconds = infoSeconds;
            }
            outcome.invocation = info;
        }
    } catch (const CLI::ParseError& e) {
        std::ostringstream out;
        std::ostringstream err;
        const int code = app.exit(e, out, err);
        outcome.exitStatus = code == 0 ? kExitOk : kExitUsage;
        outcome.standardOutput = out.str();
        outcome.standardError = err.str();
    } catch (const CliError& e) {
        outcome.exitStatus = e.status();
        outcome.standardError = std::string("velnari: ") + e.what() + "\n";
    }
    return outcome;
}

}  // namespace cli
