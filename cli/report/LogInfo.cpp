#include "report/LogInfo.h"

#include <cstdio>

#include "report/Progress.h"
#include "report/SongInfo.h"

namespace cli {

namespace {

std::string Duration(int64_t samples) {
    return FormatDuration(samples, reglog::kLogRate) + " (" + std::to_string(samples) +
           (samples == 1 ? " sample)" : " samples)");
}

void Line(std::string& text, const char* label, const std::string& value) {
    std::string padded = std::string(label) + ":";
    padded.resize(11, ' ');
    text += padded + value + "\n";
}

}  // namespace

LogInfo DescribeLog(const std::string& file, const reglog::RegisterLog& log,
                    const reglog::LogOrigin& origin) {
    LogInfo info;
    info.file = file;
    info.format = origin.format;
    info.gzipped = origin.gzipped;
    info.fileBytes = origin.fileBytes;
    info.dataBytes = origin.dataBytes;
    info.timer = origin.timer;
    info.clock = log.clock;
    info.samples = log.TotalSamples();
    info.writes = log.WriteCount();
    if (log.loopStart) {
        info.loopStart = log.LoopStartSample();
        info.loopSamples = log.LoopSamples();
    }
    info.tags = log.tags;
    return info;
}

std::string FormatText(const LogInfo& info) {
    std::string text;
    Line(text, "log", info.file);
    std::string format = info.format + ", " + std::to_string(info.fileBytes) + " bytes";
    if (info.gzipped)
        format += " gzip-compressed (" + std::to_string(info.dataBytes) + " unpacked)";
    if (!info.timer.empty()) format += ", one sync " + info.timer;
    Line(text, "format", format);
    Line(text, "chip", "YM2203 at " + std::to_string(info.clock) + " Hz");
    Line(text, "length", Duration(info.samples) + ", " + std::to_string(info.writes) + " writes");
    Line(text, "loop",
         info.loopStart
             ? "from " + Duration(*info.loopStart) + ", " + Duration(*info.loopSamples) + " long"
             : "none (plays once)");
    const std::pair<const char*, const std::string*> tags[] = {
        {"title", &info.tags.title},   {"author", &info.tags.author}, {"game", &info.tags.game},
        {"system", &info.tags.system}, {"date", &info.tags.date},     {"maker", &info.tags.maker},
        {"notes", &info.tags.notes},
    };
    for (const auto& [label, value] : tags) {
        if (value->empty()) continue;
        Line(text, label, TagForTerminal(*value, value == &info.tags.notes));
    }
    return text;
}

nlohmann::json ToJson(const LogInfo& info) {
    auto optional = [](const std::optional<int64_t>& v) -> nlohmann::json {
        return v ? nlohmann::json(*v) : nlohmann::json(nullptr);
    };
    nlohmann::json tags = {{"title", info.tags.title}, {"author", info.tags.author},
                           {"game", info.tags.game},   {"system", info.tags.system},
                           {"date", info.tags.date},   {"maker", info.tags.maker},
                           {"notes", info.tags.notes}};
    // The tags are UTF-8 as read; a file name need not be.
    return {{"file", TextForJson(info.file)},
            {"format", info.format},
            {"gzipped", info.gzipped},
            {"fileBytes", info.fileBytes},
            {"dataBytes", info.dataBytes},
            {"timer", info.timer},
            {"clock", info.clock},
            {"samples", info.samples},
            {"seconds", static_cast<double>(info.samples) / reglog::kLogRate},
            {"writes", info.writes},
            {"loopStart", optional(info.loopStart)},
            {"loopSamples", optional(info.loopSamples)},
            {"tags", tags},
            {"warnings", info.warnings}};
}

}  // namespace cli
