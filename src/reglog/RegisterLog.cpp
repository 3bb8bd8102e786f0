#include "reglog/RegisterLog.h"

namespace reglog {

namespace {

int64_t SumWaits(const std::vector<LogCommand>& commands, std::size_t from, std::size_t to) {
    int64_t sum = 0;
    for (std::size_t i = from; i < to; ++i) {
        if (commands[i].kind == LogCommand::Kind::kWait) sum += commands[i].samples;
    }
    return sum;
}

}  // namespace

int64_t RegisterLog::TotalSamples() const {
    return SumWaits(commands, 0, commands.size());
}

int64_t RegisterLog::LoopStartSample() const {
    return SumWaits(commands, 0, loopStart.value_or(commands.size()));
}

int64_t RegisterLog::LoopSamples() const {
    return loopStart ? SumWaits(commands, *loopStart, commands.size()) : 0;
}

std::size_t RegisterLog::WriteCount() const {
    std::size_t count = 0;
    for (const LogCommand& c : commands) count += c.kind == LogCommand::Kind::kWrite;
    return count;
}

bool IsValidUtf8(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        int extra = 0;
        uint32_t code = 0;
        uint32_t least = 0;  // the smallest code point the length may carry
        if (lead < 0x80) {
            ++i;
            continue;
        } else if ((lead & 0xE0) == 0xC0) {
            extra = 1, code = lead & 0x1F, least = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            extra = 2, code = lead & 0x0F, least = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            extra = 3, code = lead & 0x07, least = 0x10000;
        } else {
            return false;
        }
        if (text.size() - i <= static_cast<std::size_t>(extra)) return false;
        for (int k = 1; k <= extra; ++k) {
            const auto c = static_cast<unsigned char>(text[i + k]);
            if ((c & 0xC0) != 0x80) return false;
            code = code << 6 | (c & 0x3F);
        }
        if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
        i += 1 + extra;
    }
    return true;
}

}  // namespace reglog
