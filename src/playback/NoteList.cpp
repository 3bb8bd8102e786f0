#include "playback/NoteList.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "engine/Engine.h"
#include "engine/LoopDetector.h"
#include "playback/Position.h"
#include "playback/RenderPlan.h"
#include "song/CommandTable.h"

namespace playback {

namespace {

// A pitch that moves less than this within a note is not a bend.
constexpr double kBendCents = 0.5;

double CentsBetween(double hertz, int key) {
    return 1200.0 * std::log2(hertz / 440.0) - 100.0 * (key - 69);
}

}  // namespace

KeyAndCents KeyOf(double hertz) {
    if (!(hertz > 0.0)) return {};
    const double exact = 69.0 + 12.0 * std::log2(hertz / 440.0);
    const int key = static_cast<int>(std::clamp(std::lround(exact), 0L, 127L));
    return {key, CentsBetween(hertz, key)};
}

double SecondsOfTick(const NoteList& list, int64_t tick) {
    return static_cast<double>(list.ticks.FrameOfTick(tick)) / list.rate;
}

double MicrosecondsPerQuarter(const NoteList& list, int64_t tick) {
    return 1e6 *
           static_cast<double>(FrameOfTick(kTicksPerBar / 4, list.ticks.FramesPerTickAt(tick))) /
           list.rate;
}

NoteList ListNotes(const std::shared_ptr<const song::Song>& song, uint32_t rate,
                   std::optional<double> seconds, double maxSeconds) {
    NoteList list;
    list.rate = rate;
    engine::Engine engine(song, rate);
    if (!engine.Ready()) return list;
    list.framesPerTick = engine.FramesPerTick();
    list.ticks = TickMap::OfSong(song, rate, SecondsToFrames(seconds.value_or(maxSeconds), rate));
    const auto ticksIn = [&](double s) { return list.ticks.TickOfFrame(SecondsToFrames(s, rate)); };
    if (seconds) {
        list.endTick = ticksIn(*seconds);
    } else {
        engine::Engine ahead(song, rate);
        const engine::LoopReport report = engine::LoopDetector::Run(ahead, 1, ticksIn(maxSeconds));
        list.endTick = report.endTick.value_or(ticksIn(maxSeconds));
        if (report.endTick && *report.endTick > 0) list.loopTick = report.endTick;
    }

    // The note each part has open, as an index into the list.
    std::array<std::optional<std::size_t>, song::kPartCount> open{};
    for (int64_t tick = 0; tick < list.endTick; ++tick) {
        engine.SkipTick();
        for (int part = 0; part < song::kPartCount; ++part) {
            const engine::Sounding now = engine.NowSounding(part);
            if (now.command != nullptr && now.tick == tick) {
                open[part].reset();
                if (now.command->code != song::code::kNote) continue;
                Note note;
                note.part = part;
                note.tick = tick;
                note.ticks = std::max<int64_t>(now.until - tick, 0);
                note.hertz = now.Hertz();
                const KeyAndCents pitch = KeyOf(note.hertz);
                note.key = pitch.key;
                note.cents = pitch.cents;
                note.volume = now.volume;
                note.voice = now.voice;
                note.tied = now.tied;
                note.command = now.command;
                note.calls.assign(now.calls.begin(), now.calls.end());
                open[part] = list.notes.size();
                list.notes.push_back(std::move(note));
                continue;
            }
            if (!open[part]) continue;
            Note& note = list.notes[*open[part]];
            if (now.command == nullptr || tick >= note.tick + note.ticks) {
                open[part].reset();
                continue;
            }
            if (now.Hertz() <= 0.0) continue;
            const double cents = CentsBetween(now.Hertz(), note.key);
            const double last = note.bends.empty() ? note.cents : note.bends.back().cents;
            if (std::abs(cents - last) >= kBendCents) note.bends.push_back({tick, cents});
        }
    }
    for (Note& note : list.notes) note.ticks = std::min(note.ticks, list.endTick - note.tick);
    return list;
}

}  // namespace playback
