#pragma once
// A chip, a song built through the Song API and a sequencer playing it; the
// chip's write observer records the register writes of each tick.

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <vector>

#include "fm/OPN.h"
#include "sequencer/Sequencer.h"
#include "song/Song.h"

using sequencer::Sequencer;
using song::Command;
using song::Song;

struct RegWrite {
    uint32_t addr, data;
    friend bool operator==(const RegWrite&, const RegWrite&) = default;
};

struct RegisterLog : FM::RegisterObserver {
    void OnSetReg(uint32_t addr, uint32_t data) override { writes.push_back({addr, data}); }
    std::optional<uint32_t> Last(uint32_t addr) const {
        for (auto it = writes.rbegin(); it != writes.rend(); ++it) {
            if (it->addr == addr) return it->data;
        }
        return std::nullopt;
    }
    std::vector<uint32_t> ValuesOf(uint32_t addr) const {
        std::vector<uint32_t> v;
        for (const auto& w : writes) {
            if (w.addr == addr) v.push_back(w.data);
        }
        return v;
    }
    std::vector<RegWrite> writes;
};

class SequencerRig {
  public:
    void Add(int part, const Command& c) { song.AddToPart(part, c); }
    void Start(uint32_t rate = 44100) {
        seq = std::make_unique<Sequencer>(&chip, &song);
        ASSERT_TRUE(seq->Init(rate));
        chip.SetRegisterObserver(&log);
    }
    // Runs one tick, leaving its writes (only) in the log.
    void Tick() {
        log.writes.clear();
        seq->Tick();
    }
    void TickTo(int64_t tick) {
        while (seq->CurrentTick() < tick) seq->Tick();
    }
    // F-number (with the block in bits 11-13) of FM channel ch, -1 if not written.
    int FMPitch(int ch) const {
        const auto h = log.Last(0xA4 + ch), l = log.Last(0xA0 + ch);
        return h && l ? static_cast<int>(((*h & 0x3F) << 8) | *l) : -1;
    }
    int SSGPeriod(int ch) const {
        const auto l = log.Last(2 * ch), h = log.Last(2 * ch + 1);
        return h && l ? static_cast<int>(((*h & 0x0F) << 8) | *l) : -1;
    }
    int SSGLevel(int ch) const { return static_cast<int>(log.Last(8 + ch).value_or(99) & 0x1F); }
    // Key writes of FM channel ch in the last tick (true = on).
    std::vector<bool> FMKeys(int ch) const {
        std::vector<bool> keys;
        for (uint32_t v : log.ValuesOf(0x28)) {
            if ((v & 3) == static_cast<uint32_t>(ch)) keys.push_back((v & 0xF0) != 0);
        }
        return keys;
    }

    Song song;
    FM::OPN chip;
    RegisterLog log;
    std::unique_ptr<Sequencer> seq;
};

// F-number as FMPitch reports it: block in bits 11-13.
constexpr int Pitch(int block, int fnum) {
    return (block << 11) | fnum;
}
