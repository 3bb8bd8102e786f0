#include "report/SongInfo.h"

#include <algorithm>
#include <cstdio>
#include <set>
#include <type_traits>

#include "platform/TextEncoding.h"
#include "song/CommandTable.h"
#include "song/Song.h"
#include "text/Decode.h"

namespace cli {

namespace {

const char* const kChannelNames[song::kPartCount] = {"FM 1",  "FM 2",  "FM 3",
                                                     "SSG A", "SSG B", "SSG C"};

void CollectCalls(const song::CommandList& list, std::set<std::string>& calls) {
    for (const song::Command& command : list) {
        if (command.code == song::code::kCall) calls.insert(command.text);
    }
}

template <typename T>
std::string JoinList(const std::vector<T>& items) {
    if (items.empty()) return "none";
    std::string text;
    for (const T& item : items) {
        if (!text.empty()) text += ", ";
        if constexpr (std::is_same_v<T, std::string>) {
            text += item;
        } else {
            text += std::to_string(item);
        }
    }
    return text;
}

std::string TicksText(const SongInfo& info, int64_t ticks, int64_t from = 0) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.2f", info.TicksToSeconds(from + ticks, from));
    return std::to_string(ticks) + (ticks == 1 ? " tick (" : " ticks (") + seconds + " s)";
}

}  // namespace

std::string TextForJson(std::string_view bytes) {
    return text::ToUtf8(bytes, platform::ShiftJisToUtf8, text::Undecodable::kHexEscape);
}

std::string TagForTerminal(const std::string& value, bool keepLines) {
    std::string shown;
    for (std::size_t i = 0; i < value.size(); ++i) {
        const auto c = static_cast<unsigned char>(value[i]);
        const auto next = i + 1 < value.size() ? static_cast<unsigned char>(value[i + 1]) : 0;
        char escape[8];
        if (c == '\n' && keepLines) {
            shown += "\n           ";
            continue;
        }
        if (c < 0x20 || c == 0x7F) {
            std::snprintf(escape, sizeof escape, "\\x%02X", c);
        } else if (c == 0xC2 && next >= 0x80 && next <= 0x9F) {
            std::snprintf(escape, sizeof escape, "\\u%04X", next);
            ++i;
        } else {
            shown += static_cast<char>(c);
            continue;
        }
        shown += escape;
    }
    return shown;
}

namespace {

nlohmann::json LengthJson(const SongInfo& info, const std::optional<int64_t>& ticks,
                          int64_t from = 0) {
    if (!ticks) return nullptr;
    return {{"ticks", *ticks}, {"seconds", info.TicksToSeconds(from + *ticks, from)}};
}

// The steps of the tempo map through the ticks the loop search looked at.
std::vector<playback::TickMap::Step> TempoSteps(const SongInfo& info) {
    std::vector<playback::TickMap::Step> steps;
    for (const playback::TickMap::Step& step : info.ticks.Steps()) {
        if (step.tick > 0 && step.tick >= info.searchedTicks) break;
        steps.push_back(step);
    }
    return steps;
}

// One line per step of the tempo map after the first, at most kTempoLines.
constexpr std::size_t kTempoLines = 24;
std::string TempoChangesText(const SongInfo& info) {
    std::string text;
    const std::vector<playback::TickMap::Step> steps = TempoSteps(info);
    for (std::size_t i = 1; i < steps.size(); ++i) {
        if (i > kTempoLines) {
            text += "           ... " + std::to_string(steps.size() - i) + " more changes\n";
            break;
        }
        const playback::TickMap::Step& step = steps[i];
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.2f",
                      info.rate == 0 ? 0.0 : static_cast<double>(step.frame) / info.rate);
        text += "           from tick " + std::to_string(step.tick) + " (" + seconds +
                " s): " + std::to_string(step.tempo) + " (" + std::to_string(step.framesPerTick) +
                " frames per tick)\n";
    }
    return text;
}

}  // namespace

double SongInfo::TicksToSeconds(int64_t to, int64_t from) const {
    return rate == 0 ? 0.0
                     : static_cast<double>(ticks.FrameOfTick(to) - ticks.FrameOfTick(from)) / rate;
}

void DescribeDefinitions(const song::Song& song, SongInfo& info) {
    info.tempo = song.GetTempo();
    info.tags = song.GetTags();
    for (const auto& [number, voice] : song.Voices()) info.voices.push_back(number);
    for (const auto& [number, envelope] : song.SSGEnvelopes()) info.envelopes.push_back(number);
    std::set<std::string> calls;
    for (const auto& [name, list] : song.Macros()) {
        info.macros.push_back(name);
        CollectCalls(list, calls);
    }
    for (int part = 0; part < song::kPartCount; ++part) {
        info.parts[part].used = song.IsPartUsed(part);
        CollectCalls(song.Part(part), calls);
    }
    for (const std::string& name : calls) {
        if (!song.HasMacro(name)) info.missingMacros.push_back(name);
    }
}

void DescribeExtensions(const std::vector<Tarsel::ExtensionUse>& uses, SongInfo& info) {
    std::set<Tarsel::Extension> used;
    for (const Tarsel::ExtensionUse& use : uses) used.insert(use.kind);
    for (const Tarsel::Extension kind : used) {
        info.extensions.emplace_back(Tarsel::ExtensionName(kind));
    }
}

void DescribeLoops(const engine::LoopReport& loops, SongInfo& info) {
    for (int part = 0; part < song::kPartCount; ++part) {
        const engine::PartLoops& source = loops.parts[part];
        SongInfo::Part& target = info.parts[part];
        target.used = source.used;
        if (!source.used) continue;
        if (!source.passEnds.empty()) {
            target.firstPassTicks = source.passEnds[0];
        } else if (source.stopped) {
            target.firstPassTicks = source.stopped;
        }
        if (source.passEnds.size() >= 2) {
            target.loopTicks = source.passEnds[1] - source.passEnds[0];
            target.loopStartTick = source.passEnds[0];
        }
        target.stops = source.stopped.has_value();
        if (!target.stops && source.passEnds.size() < 2) info.searchLimited = true;
        for (int64_t end : source.passEnds) info.searchedTicks = std::max(info.searchedTicks, end);
        if (source.stopped) info.searchedTicks = std::max(info.searchedTicks, *source.stopped);
    }
    info.tempoDrifts = loops.tempoDrifts;
}

std::string FormatText(const SongInfo& info) {
    std::string text;
    text += "song:      " + info.file + "\n";
    const std::pair<const char*, const std::string*> tags[] = {
        {"title:     ", &info.tags.title},
        {"composer:  ", &info.tags.composer},
        {"date:      ", &info.tags.date},
        {"notes:     ", &info.tags.notes},
    };
    for (const auto& [label, value] : tags) {
        if (!value->empty())
            text += label + TagForTerminal(*value, value == &info.tags.notes) + "\n";
    }
    text += "tempo:     " + std::to_string(info.tempo) + " (" + std::to_string(info.framesPerTick) +
            " frames per tick at " + std::to_string(info.rate) + " Hz)\n";
    text += TempoChangesText(info);
    for (int part = 0; part < song::kPartCount; ++part) {
        const SongInfo::Part& p = info.parts[part];
        char head[32];
        std::snprintf(head, sizeof head, "part %d %-6s ", part + 1, kChannelNames[part]);
        text += head;
        if (!p.used) {
            text += "not used\n";
            continue;
        }
        text += "used";
        if (p.firstPassTicks) {
            text += p.stops && !p.loopTicks ? ", stops after " : ", first pass ";
            text += TicksText(info, *p.firstPassTicks);
        }
        if (p.loopTicks) text += ", loop " + TicksText(info, *p.loopTicks, p.loopStartTick);
        if (!p.stops && !p.loopTicks) text += ", loop not found within the search limit";
        text += "\n";
    }
    if (info.tempoDrifts) {
        text += "loop:      none: the tempo differs on every pass (a ramp that never returns)\n";
    }
    text += "voices:    " + JoinList(info.voices) + "\n";
    text += "envelopes: " + JoinList(info.envelopes) + "\n";
    text += "macros:    " + JoinList(info.macros) + "\n";
    text += "missing:   " + JoinList(info.missingMacros) + " (macros called but never defined)\n";
    text += "language:  " +
            (info.extensions.empty() ? std::string("plain (no extensions)")
                                     : "extensions " + JoinList(info.extensions)) +
            "\n";
    return text;
}

nlohmann::json ToJson(const SongInfo& info) {
    nlohmann::json parts = nlohmann::json::array();
    for (int part = 0; part < song::kPartCount; ++part) {
        const SongInfo::Part& p = info.parts[part];
        parts.push_back({{"part", part + 1},
                         {"channel", kChannelNames[part]},
                         {"used", p.used},
                         {"stops", p.stops},
                         {"firstPass", LengthJson(info, p.firstPassTicks)},
                         {"loop", LengthJson(info, p.loopTicks, p.loopStartTick)}});
    }
    nlohmann::json tempoMap = nlohmann::json::array();
    for (const playback::TickMap::Step& step : TempoSteps(info)) {
        tempoMap.push_back({{"tick", step.tick},
                            {"frame", step.frame},
                            {"tempo", step.tempo},
                            {"framesPerTick", step.framesPerTick}});
    }
    std::vector<std::string> macros, missingMacros;
    for (const std::string& name : info.macros) macros.push_back(TextForJson(name));
    for (const std::string& name : info.missingMacros) missingMacros.push_back(TextForJson(name));
    return {{"file", TextForJson(info.file)},
            {"tempo", info.tempo},
            {"rate", info.rate},
            {"framesPerTick", info.framesPerTick},
            {"tempoMap", tempoMap},
            {"parts", parts},
            {"voices", info.voices},
            {"envelopes", info.envelopes},
            {"macros", macros},
            {"missingMacros", missingMacros},
            {"searchLimited", info.searchLimited},
            {"tempoDrifts", info.tempoDrifts},

            {"tags",
             {{"title", info.tags.title},
              {"composer", info.tags.composer},
              {"date", info.tags.date},
              {"notes", info.tags.notes}}},
            {"extensions", info.extensions}};
}

}  // namespace cli
