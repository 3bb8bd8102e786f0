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

}  // namespace reglog
