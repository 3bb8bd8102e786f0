#include "reglog/WriteRate.h"

#include <deque>
#include <vector>

namespace reglog {

namespace {

// The writes made at one sample: how many, and the first of them.
struct Burst {
    int64_t time = 0;  // samples from the log's start
    int64_t writes = 0;
    std::size_t command = 0;
};

// Calls `emit` with the bursts of commands [from, to), the first at `start`.
// Returns the samples the commands wait in all.
template <typename Emit>
int64_t Bursts(const std::vector<LogCommand>& commands, std::size_t from, std::size_t to,
               int64_t start, Emit&& emit) {
    int64_t time = start;
    Burst burst{start, 0, from};
    for (std::size_t i = from; i < to; ++i) {
        const LogCommand& c = commands[i];
        if (c.kind == LogCommand::Kind::kWrite) {
            if (burst.writes == 0) burst = {time, 0, i};
            ++burst.writes;
        } else if (c.samples > 0) {
            if (burst.writes > 0) emit(burst);
            burst.writes = 0;
            time += c.samples;
        }
    }
    if (burst.writes > 0) emit(burst);
    return time - start;
}

// The writes of the last kLogRate samples, as bursts arrive in time order.
class Window {
  public:
    explicit Window(int64_t limit) : limit_(limit) {}

    void Add(const Burst& burst) {
        if (!bursts_.empty() && bursts_.back().time == burst.time) {
            bursts_.back().writes += burst.writes;
        } else {
            bursts_.push_back(burst);
        }
        writes_ += burst.writes;
        while (bursts_.front().time <= burst.time - int64_t{kLogRate}) {
            writes_ -= bursts_.front().writes;
            bursts_.pop_front();
        }
        if (writes_ > limit_ && (!densest_ || writes_ > densest_->writes)) {
            densest_ = WriteFlood{bursts_.front().command, writes_};
        }
    }
    const std::optional<WriteFlood>& Densest() const { return densest_; }

  private:
    int64_t limit_;
    std::deque<Burst> bursts_;  // at most kLogRate + 1: one per sample
    int64_t writes_ = 0;
    std::optional<WriteFlood> densest_;
};

}  // namespace

std::optional<WriteFlood> FindWriteFlood(const RegisterLog& log, int64_t limit) {
    const std::vector<LogCommand>& commands = log.commands;
    const int64_t loopSamples = log.LoopSamples();
    const bool loops = log.loopStart && loopSamples > 0;
    const std::size_t loopStart = loops ? *log.loopStart : commands.size();
    Window window(limit);
    auto add = [&](const Burst& b) { window.Add(b); };
    const int64_t intro = Bursts(commands, 0, loopStart, 0, add);
    if (!loops) return window.Densest();

    // Every second that starts in the intro or the first pass ends before
    // pass 1 + kLogRate / loopSamples does; later ones repeat those.
    const int64_t passes = 2 + kLogRate / loopSamples;
    if (loopSamples >= kLogRate) {
        for (int64_t p = 0; p < passes; ++p) {
            Bursts(commands, loopStart, commands.size(), intro + p * loopSamples, add);
        }
        return window.Densest();
    }
    // A short loop has at most one burst per sample: keep them and repeat.
    std::vector<Burst> pass;
    Bursts(commands, loopStart, commands.size(), 0, [&](const Burst& b) { pass.push_back(b); });
    for (int64_t p = 0; p < passes; ++p) {
        for (Burst b : pass) {
            b.time += intro + p * loopSamples;
            window.Add(b);
        }
    }
    return window.Densest();
}

std::string FloodText(const WriteFlood& flood, const std::string& where) {
    return "asks for " + std::to_string(flood.writes) + " register writes in one second of output" +
           (where.empty() ? "" : " from " + where) + ", more than any song makes (" +
           std::to_string(kMaxWritesPerSecond) + ")";
}

}  // namespace reglog
