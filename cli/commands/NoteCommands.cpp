#include "commands/NoteCommands.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "CliError.h"
#include "commands/LogCommands.h"
#include "commands/LogInput.h"
#include "commands/SongFile.h"
#include "mml/Compile.h"
#include "mml/SourceLines.h"
#include "platform/WholeFile.h"
#include "playback/MidiFile.h"
#include "playback/NoteList.h"
#include "report/SongInfo.h"
#include "text/Case.h"

namespace cli {

namespace {

constexpr const char* kKeyNames[12] = {"C",  "C#", "D",  "D#", "E",  "F",
                                       "F#", "G",  "G#", "A",  "A#", "B"};

std::string KeyName(int key) {
    return std::string(kKeyNames[key % 12]) + std::to_string(key / 12 - 1);
}

// A register log holds the chip's writes, not notes: refused by name.
void RefuseRegisterLog(const std::string& path, const char* what) {
    if (!IsRegisterLogInput(path)) return;
    throw CliError(kExitUsage, "'" + path +
                                   "' is a register log, which holds the chip's writes, "
                                   "not notes: " +
                                   what + " needs an MML song");
}

// The song file's text and its compile: the text stays for the notes' places.
struct SongText {
    std::string text;
    std::shared_ptr<const song::Song> song;
};

SongText ReadSong(const std::string& path) {
    SongText read;
    if (!platform::ReadWholeFile(path.c_str(), read.text) || read.text.empty()) {
        throw CliError(kExitFailure, "cannot read '" + path + "' (missing, unreadable or empty)");
    }
    Tarsel::CompileResult compiled = Tarsel::Compile(read.text, path);
    if (compiled.fault) {
        const std::string shown = compiled.fault->message;
        throw SongFault(std::move(*compiled.fault), shown);
    }
    read.song = compiled.song;
    return read;
}

nlohmann::json PlaceJson(const Tarsel::SourcePlace& place) {
    return {{"line", place.line}, {"column", place.column}};
}

nlohmann::json NoteJson(const playback::NoteList& list, const playback::Note& note,
                        const Tarsel::SourceLines& lines) {
    nlohmann::json macros = nlohmann::json::array();
    for (const song::Command* call : note.calls) {
        nlohmann::json site = PlaceJson(lines.PlaceOf(*call));
        site["name"] = TextForJson(call->text);
        macros.push_back(std::move(site));
    }
    nlohmann::json source = PlaceJson(lines.PlaceOf(*note.command));
    source["macros"] = std::move(macros);
    nlohmann::json bends = nlohmann::json::array();
    for (const playback::PitchChange& change : note.bends) {
        bends.push_back({{"tick", change.tick}, {"cents", std::round(change.cents * 10) / 10}});
    }
    return {{"part", note.part + 1},
            {"name", playback::PartName(note.part)},
            {"tick", note.tick},
            {"time", playback::SecondsOfTick(list, note.tick)},
            {"ticks", note.ticks},
            {"seconds", playback::SecondsOfTick(list, note.tick + note.ticks) -
                            playback::SecondsOfTick(list, note.tick)},
            {"key", note.key},
            {"cents", std::round(note.cents * 10) / 10},
            {"hertz", std::round(note.hertz * 1000) / 1000},
            {"volume", note.volume},
            {"voice", note.voice},
            {"tied", note.tied},
            {"bends", std::move(bends)},
            {"source", std::move(source)}};
}

std::string NotesText(const playback::NoteList& list, const Tarsel::SourceLines& lines) {
    std::string out;
    char row[256];
    if (list.notes.empty()) return "no notes\n";
    out += "part   tick     time  ticks  seconds  key          cents  vol  voice  tied  source\n";
    for (const playback::Note& note : list.notes) {
        const Tarsel::SourcePlace place = lines.PlaceOf(*note.command);
        const double start = playback::SecondsOfTick(list, note.tick);
        std::snprintf(row, sizeof row,
                      "%-5s %5lld %8.3f %6lld %8.3f  %-4s (%3d) %+7.1f %4d %6d  %-4s  %d:%d",
                      playback::PartName(note.part).c_str(), static_cast<long long>(note.tick),
                      start, static_cast<long long>(note.ticks),
                      playback::SecondsOfTick(list, note.tick + note.ticks) - start,
                      KeyName(note.key).c_str(), note.key, note.cents, note.volume, note.voice,
                      note.tied ? "yes" : "-", place.line, place.column);
        out += row;
        for (const song::Command* call : note.calls) {
            const Tarsel::SourcePlace site = lines.PlaceOf(*call);
            out += " < $" + TextForJson(call->text) + " " + std::to_string(site.line) + ":" +
                   std::to_string(site.column);
        }
        out += "\n";
    }
    return out;
}

}  // namespace

bool IsMidiPath(const std::string& path) {
    const std::string extension =
        text::AsciiLower(std::filesystem::path(path).extension().string());
    return extension == ".mid" || extension == ".midi";
}

int RunInfoNotes(const InfoOptions& options) {
    RefuseRegisterLog(options.song, "--notes");
    const SongText read = ReadSong(options.song);
    const playback::NoteList list =
        playback::ListNotes(read.song, options.rate, options.seconds, options.maxSeconds);
    const Tarsel::SourceLines lines(read.text);
    if (options.json) {
        nlohmann::json notes = nlohmann::json::array();
        for (const playback::Note& note : list.notes) notes.push_back(NoteJson(list, note, lines));
        nlohmann::json all = {{"file", TextForJson(options.song)},
                              {"rate", list.rate},
                              {"ticksPerQuarter", 16},
                              {"endTick", list.endTick},
                              {"seconds", playback::SecondsOfTick(list, list.endTick)},
                              {"notes", std::move(notes)}};
        all["loopTick"] = list.loopTick ? nlohmann::json(*list.loopTick) : nlohmann::json();
        std::printf("%s\n", all.dump(2).c_str());
    } else {
        std::fputs(NotesText(list, lines).c_str(), stdout);
    }
    return kExitOk;
}

int RunExportMidi(const RenderOptions& options, const std::string& output) {
    RefuseRegisterLog(options.song, "a MIDI file");
    const MixOptions& mix = options.mix;
    if (mix.bars)
        throw CliError(kExitUsage,
                       "--bars: a MIDI file holds the first whole loop "
                       "or --seconds; give one of those");
    const std::shared_ptr<const song::Song> song =
        CompileSongFile(options.song, options.diagnostics);
    const playback::NoteList list =
        playback::ListNotes(song, mix.rate, mix.seconds, mix.maxSeconds);
    // The options win over the song's tag lines, as for a register log.
    const song::Tags& written = song->GetTags();
    const std::string title = options.tags.title.value_or(written.title);
    std::vector<std::string> texts;
    for (const std::string& text :
         {title, options.tags.author.value_or(written.composer),
          options.tags.notes.value_or(written.notes), options.tags.date.value_or(written.date)}) {
        if (!text.empty()) texts.push_back(text);
    }
    WriteWholeFile(output, playback::MidiFile(list, title, texts));
    return kExitOk;
}

}  // namespace cli
