#include "engine/LoopDetector.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <utility>

#include "engine/Engine.h"

namespace engine {

namespace {

// Ticks between two polls of the caller.
constexpr int64_t kTicksPerPoll = 4096;

// An engine run ahead tick by tick, without mixing.
class EngineTicks : public TickSource {
  public:
    EngineTicks(Engine& engine, const std::function<void()>& poll) : engine_(engine), poll_(poll) {}

    void Tick() override {
        if (poll_ && engine_.Tick() % kTicksPerPoll == 0) poll_();
        engine_.SkipTick();
    }
    int64_t TicksRun() const override { return engine_.Tick(); }
    bool IsPartUsed(int part) const override { return engine_.Part(part).used; }
    bool IsPartActive(int part) const override { return engine_.Part(part).active; }
    int64_t PassesCompleted(int part) const override { return engine_.Part(part).passes; }
    int64_t LastPassEndTick(int part) const override { return engine_.Part(part).passEndTick; }
    int64_t LastPassNesting(int part) const override { return engine_.Part(part).passNesting; }
    bool TempoChanges() const override { return engine_.Song().ChangesTempo(); }
    TempoStatus Tempo() const override { return engine_.Tempo(); }

  private:
    Engine& engine_;
    const std::function<void()>& poll_;
};

// Records any pass the part finished since the last look. Should the count
// rise by more than one within a tick, the ends in between are not known
// separately and take the latest end reported.
// What the passes of a part left pending: `deeper` when the latest pass left
// more than the one before it, so that the part is still on its way to the
// nesting limit, not in its loop.
struct Nesting {
    int64_t latest = 0;
    bool deeper = false;
};

void CollectPasses(const TickSource& source, int part, PartLoops& loops, Nesting& nesting) {
    const int64_t completed = source.PassesCompleted(part);
    while (static_cast<int64_t>(loops.passEnds.size()) < completed) {
        loops.passEnds.push_back(source.LastPassEndTick(part));
        const int64_t pending = source.LastPassNesting(part);
        nesting.deeper = loops.passEnds.size() >= 2 && pending > nesting.latest;
        nesting.latest = pending;
    }
}

bool PartDone(const PartLoops& loops, const Nesting& nesting, int32_t passes) {
    return !loops.used || loops.stopped.has_value() ||
           (static_cast<int64_t>(loops.passEnds.size()) >= passes && !nesting.deeper);
}

// The tick at which a part finished its k-th pass (1-based), counting a
// stopped part as finished from its stop on.
std::optional<int64_t> PassEnd(const PartLoops& loops, std::size_t k) {
    if (loops.passEnds.size() >= k) return loops.passEnds[k - 1];
    if (loops.stopped) return loops.stopped;
    return std::nullopt;
}

// The tempo state at the start of each tick, kept where it changes.
class TempoTrack {
  public:
    void Note(int64_t tick, const TempoStatus& state) {
        if (changes_.empty() || !(changes_.back().second == state))
            changes_.emplace_back(tick, state);
    }
    TempoStatus At(int64_t tick) const {
        const auto after =
            std::upper_bound(changes_.begin(), changes_.end(), tick,
                             [](int64_t t, const auto& change) { return t < change.first; });
        return after == changes_.begin() ? TempoStatus{} : std::prev(after)->second;
    }

  private:
    std::vector<std::pair<int64_t, TempoStatus>> changes_;
};

}  // namespace

LoopReport LoopDetector::Run(TickSource& source, int32_t passes, int64_t maxTicks) {
    LoopReport report;
    const bool tempoChanges = source.TempoChanges();
    TempoTrack tempo;
    if (tempoChanges) tempo.Note(source.TicksRun(), source.Tempo());
    std::array<Nesting, song::kPartCount> nesting{};
    for (int p = 0; p < song::kPartCount; ++p) {
        report.parts[p].used = source.IsPartUsed(p);
        if (report.parts[p].used && !source.IsPartActive(p)) {
            report.parts[p].stopped = source.TicksRun();
        }
    }

    auto allDone = [&] {
        for (int p = 0; p < song::kPartCount; ++p) {
            if (!PartDone(report.parts[p], nesting[p], passes)) return false;
        }
        return true;
    };

    while (!allDone() && source.TicksRun() < maxTicks) {
        const int64_t tick = source.TicksRun();
        source.Tick();
        if (tempoChanges) tempo.Note(tick + 1, source.Tempo());
        for (int p = 0; p < song::kPartCount; ++p) {
            PartLoops& loops = report.parts[p];
            if (!loops.used || loops.stopped) continue;
            CollectPasses(source, p, loops, nesting[p]);
            if (!source.IsPartActive(p)) loops.stopped = tick;
        }
    }

    // Passes that nested deeper each time until the part stopped were no
    // loop: such a part simply stops.
    for (int p = 0; p < song::kPartCount; ++p) {
        if (report.parts[p].stopped && nesting[p].deeper) report.parts[p].passEnds.clear();
    }

    if (allDone()) {
        int64_t end = 0;
        for (const PartLoops& loops : report.parts) {
            if (!loops.used) continue;
            end = std::max(end, PassEnd(loops, static_cast<std::size_t>(passes)).value_or(0));
        }
        report.endTick = end;
    }

    for (std::size_t k = 1;; ++k) {
        int64_t end = 0;
        bool known = true;
        for (const PartLoops& loops : report.parts) {
            if (!loops.used) continue;
            const auto partEnd = PassEnd(loops, k);
            if (!partEnd) {
                known = false;
                break;
            }
            end = std::max(end, *partEnd);
        }
        // A song whose parts all stopped has no further passes to list.
        const bool anyPass =
            std::any_of(report.parts.begin(), report.parts.end(),
                        [&](const PartLoops& l) { return l.passEnds.size() >= k; });
        if (!known || !anyPass) break;
        report.songPassEnds.push_back(end);
    }

    const std::size_t ends = report.songPassEnds.size();
    if (tempoChanges && report.endTick && passes >= 2 && ends >= static_cast<std::size_t>(passes)) {
        const int64_t last = report.songPassEnds[static_cast<std::size_t>(passes) - 1];
        const int64_t before = report.songPassEnds[static_cast<std::size_t>(passes) - 2];
        // A note's look-ahead ends a pass before its last ticks have run:
        // on to where it ends, for the tempo there.
        while (source.TicksRun() < last) {
            const int64_t tick = source.TicksRun();
            source.Tick();
            tempo.Note(tick + 1, source.Tempo());
        }
        if (last > before && !(tempo.At(last) == tempo.At(before))) {
            report.tempoDrifts = true;
            report.endTick.reset();
        }
    }
    return report;
}

LoopReport LoopDetector::Run(Engine& ahead, int32_t passes, int64_t maxTicks,
                             const std::function<void()>& poll) {
    EngineTicks ticks(ahead, poll);
    return Run(ticks, passes, maxTicks);
}

}  // namespace engine
