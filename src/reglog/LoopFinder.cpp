#include "reglog/LoopFinder.h"

#include <algorithm>
#include <vector>

namespace reglog {

namespace {

using Group = SongRecording::Group;

// Index of the last group whose tick is below `tick`, or -1.
std::ptrdiff_t LastBelow(const std::vector<Group>& groups, int64_t tick) {
    const auto it = std::lower_bound(groups.begin(), groups.end(), tick,
                                     [](const Group& g, int64_t t) { return g.tick < t; });
    return (it - groups.begin()) - 1;
}

// The divisors of n in increasing order.
std::vector<int64_t> Divisors(int64_t n) {
    std::vector<int64_t> low;
    std::vector<int64_t> high;
    for (int64_t d = 1; d * d <= n; ++d) {
        if (n % d != 0) continue;
        low.push_back(d);
        if (d != n / d) high.push_back(n / d);
    }
    low.insert(low.end(), high.rbegin(), high.rend());
    return low;
}

}  // namespace

std::optional<int64_t> LoopFinder::LastMismatch(const SongRecording& recording, int64_t shift,
                                                int64_t from, int64_t to) {
    const std::vector<Group>& groups = recording.Groups();
    // Walk both ranges backwards together: [from, to) below, shifted above.
    std::ptrdiff_t low = LastBelow(groups, to);
    std::ptrdiff_t high = LastBelow(groups, to + shift);
    for (;;) {
        const int64_t lowTick = low >= 0 && groups[low].tick >= from ? groups[low].tick : -1;
        const int64_t highTick =
            high >= 0 && groups[high].tick >= from + shift ? groups[high].tick - shift : -1;
        if (lowTick < 0 && highTick < 0) return std::nullopt;
        if (lowTick != highTick) return std::max(lowTick, highTick);
        if (!recording.SameWrites(groups[low], groups[high])) return lowTick;
        --low;
        --high;
    }
}

std::optional<Repeat> LoopFinder::Find(const SongRecording& recording, int64_t base,
                                       const std::function<void()>& poll) {
    const int64_t ticks = recording.Ticks();
    for (int k = 1; k <= kMaxMultiple; ++k) {
        const int64_t period = base * k;
        if (2 * period > ticks) break;
        if (poll) poll();
        const auto mismatch = LastMismatch(recording, period, 0, ticks - period);
        const int64_t start = mismatch ? *mismatch + 1 : 0;
        if (start + 2 * period > ticks) continue;
        for (int64_t d : Divisors(period)) {
            if (poll) poll();
            if (d == period || !LastMismatch(recording, d, start, start + period - d)) {
                return Repeat{start, d};
            }
        }
    }
    return std::nullopt;
}

}  // namespace reglog
