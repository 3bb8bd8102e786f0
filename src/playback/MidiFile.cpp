#include "playback/MidiFile.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "song/Song.h"

namespace playback {

namespace {

constexpr int kTicksPerQuarter = 16;

struct Event {
    int64_t tick = 0;
    int order = 0;  // at one tick: note offs, then settings, then note ons
    std::vector<uint8_t> bytes;
};

enum Order { kOff = 0, kSetting = 1, kOn = 2, kEnd = 3 };

void Put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v >> 8));
    out.push_back(static_cast<uint8_t>(v));
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
    Put16(out, v >> 16);
    Put16(out, v & 0xFFFF);
}

// A delta time as a variable-length quantity: four bytes hold up to 2^28 - 1.
void PutDelta(std::vector<uint8_t>& out, int64_t delta) {
    auto v = static_cast<uint32_t>(std::clamp<int64_t>(delta, 0, (int64_t{1} << 28) - 1));
    std::array<uint8_t, 4> groups{};
    int n = 0;
    do {
        groups[n++] = static_cast<uint8_t>(v & 0x7F);
        v >>= 7;
    } while (v != 0);
    while (n > 1) out.push_back(static_cast<uint8_t>(groups[--n] | 0x80));
    out.push_back(groups[0]);
}

Event Meta(int64_t tick, int order, uint8_t type, const std::string& text) {
    Event e{tick, order, {0xFF, type}};
    const std::size_t n = std::min<std::size_t>(text.size(), 0x0FFFFFFF);
    PutDelta(e.bytes, static_cast<int64_t>(n));
    e.bytes.insert(e.bytes.end(), text.begin(), text.begin() + static_cast<std::ptrdiff_t>(n));
    return e;
}

Event Channel(int64_t tick, int order, uint8_t status, int channel, int a, int b = -1) {
    Event e{tick, order, {static_cast<uint8_t>(status | channel), static_cast<uint8_t>(a & 0x7F)}};
    if (b >= 0) e.bytes.push_back(static_cast<uint8_t>(b & 0x7F));
    return e;
}

Event Bend(int64_t tick, int order, int channel, double cents) {
    const double steps = 8192.0 * cents / (100.0 * kBendSemitones);
    const auto v = static_cast<int>(std::clamp(std::lround(8192.0 + steps), 0L, 16383L));
    return Channel(tick, order, 0xE0, channel, v & 0x7F, v >> 7);
}

void PutTrack(std::vector<uint8_t>& out, std::vector<Event> events, int64_t endTick) {
    std::stable_sort(events.begin(), events.end(), [](const Event& a, const Event& b) {
        return a.tick != b.tick ? a.tick < b.tick : a.order < b.order;
    });
    int64_t last = 0;
    for (const Event& e : events) last = std::max(last, e.tick);
    events.push_back({std::max(last, endTick), kEnd, {0xFF, 0x2F, 0x00}});
    std::vector<uint8_t> body;
    int64_t at = 0;
    for (const Event& e : events) {
        PutDelta(body, e.tick - at);
        at = e.tick;
        body.insert(body.end(), e.bytes.begin(), e.bytes.end());
    }
    out.insert(out.end(), {'M', 'T', 'r', 'k'});
    Put32(out, static_cast<uint32_t>(body.size()));
    out.insert(out.end(), body.begin(), body.end());
}

// One part's notes on `channel`.
std::vector<Event> PartEvents(const NoteList& list, int part, int channel) {
    std::vector<Event> events;
    events.push_back(Meta(0, kSetting, 0x03, PartName(part)));
    // RPN 0: the bend range, then no RPN selected.
    for (const auto& [cc, value] : std::array<std::pair<int, int>, 6>{
             {{101, 0}, {100, 0}, {6, kBendSemitones}, {38, 0}, {101, 127}, {100, 127}}}) {
        events.push_back(Channel(0, kSetting, 0xB0, channel, cc, value));
    }
    int volume = -1, voice = -1;
    double bend = 0.0;
    int sounding = -1;  // the key a tie carries on, or -1
    for (const Note& note : list.notes) {
        if (note.part != part) continue;
        const int64_t end = note.tick + note.ticks;
        if (note.volume != volume) {
            volume = note.volume;
            events.push_back(Channel(note.tick, kSetting, 0xB0, channel, 7,
                                     std::clamp(volume, 0, 15) * 127 / 15));
        }
        if (note.voice != voice) {
            voice = note.voice;
            if (voice >= 0 && voice <= 127) {
                events.push_back(Channel(note.tick, kSetting, 0xC0, channel, voice));
            } else {
                events.push_back(Meta(note.tick, kSetting, 0x01, "voice " + std::to_string(voice)));
            }
        }
        if (note.cents != bend) {
            bend = note.cents;
            events.push_back(Bend(note.tick, kSetting, channel, bend));
        }
        for (const PitchChange& change : note.bends) {
            bend = change.cents;
            events.push_back(Bend(change.tick, kSetting, channel, bend));
        }
        if (sounding != note.key) {
            if (sounding >= 0)
                events.push_back(Channel(note.tick, kOff, 0x80, channel, sounding, 0));
            events.push_back(Channel(note.tick, kOn, 0x90, channel, note.key, 100));
        }
        sounding = note.key;
        if (!note.tied) {
            events.push_back(Channel(end, kOff, 0x80, channel, note.key, 0));
            sounding = -1;
        }
    }
    if (sounding >= 0) events.push_back(Channel(list.endTick, kOff, 0x80, channel, sounding, 0));
    return events;
}

}  // namespace

std::string PartName(int part) {
    if (part < song::kFMPartCount) return "FM " + std::to_string(part + 1);
    return std::string("SSG ") + static_cast<char>('A' + part - song::kFMPartCount);
}

std::vector<uint8_t> MidiFile(const NoteList& list, const std::string& title,
                              const std::vector<std::string>& texts) {
    std::array<bool, song::kPartCount> used{};
    for (const Note& note : list.notes) used[note.part] = true;
    const auto parts = static_cast<uint32_t>(std::count(used.begin(), used.end(), true));

    std::vector<uint8_t> out{'M', 'T', 'h', 'd'};
    Put32(out, 6);
    Put16(out, 1);
    Put16(out, 1 + parts);
    Put16(out, kTicksPerQuarter);

    std::vector<Event> first;
    if (!title.empty()) first.push_back(Meta(0, kSetting, 0x03, title));
    // A tempo event where the tick length changes within the notes' span.
    uint32_t written = 0;
    for (const TickMap::Step& step : list.ticks.Steps()) {
        if (step.tick > 0 && step.tick >= list.endTick) break;
        const auto tempo = static_cast<uint32_t>(
            std::clamp(std::lround(MicrosecondsPerQuarter(list, step.tick)), 1L, 0xFFFFFFL));
        if (tempo == written) continue;
        written = tempo;
        first.push_back({step.tick,
                         kSetting,
                         {0xFF, 0x51, 0x03, static_cast<uint8_t>(tempo >> 16),
                          static_cast<uint8_t>(tempo >> 8), static_cast<uint8_t>(tempo)}});
    }
    for (const std::string& text : texts) first.push_back(Meta(0, kSetting, 0x01, text));
    if (list.loopTick) first.push_back(Meta(*list.loopTick, kSetting, 0x06, "loop"));
    PutTrack(out, std::move(first), list.endTick);

    int channel = 0;
    for (int part = 0; part < song::kPartCount; ++part) {
        if (!used[part]) continue;
        PutTrack(out, PartEvents(list, part, channel++), list.endTick);
    }
    return out;
}

}  // namespace playback
