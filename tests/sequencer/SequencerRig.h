#pragma once
// A chip, a song built through the Song API, and a sequencer playing it, with
// every register write of a tick recorded through the chip's write observer.

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "fm/OPN.h"
#include "sequencer/Sequencer.h"
#include "song/Song.h"

struct RegWrite {
    uint32_t addr;
    uint32_t data;
    friend bool operator==(const RegWrite&, const RegWrite&) = default;
};

class RegisterLog : public FM::RegisterObserver {
  public:
    void OnSetReg(uint32_t addr, uint32_t data) override { writes.push_back({addr, data}); }

    // Value of the last write to `addr`, if any.
    std::optional<uint32_t> Last(uint32_t addr) const {
        for (auto it = writes.rbegin(); it != writes.rend(); ++it) {
            if (it->addr == addr) return it->data;
        }
        return std::nullopt;
    }
    int Count(uint32_t addr) const {
        int n = 0;
        for (const auto& w : writes) n += w.addr == addr;
        return n;
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

// Block and F-number as the last writes of a high/low register pair hold them.
struct BlockFnum {
    int block;
    int fnum;
    friend bool operator==(const BlockFnum&, const BlockFnum&) = default;
};
inline std::ostream& operator<<(std::ostream& os, const BlockFnum& b) {
    return os << "block " << b.block << " fnum " << b.fnum;
}

class SequencerRig {
  public:
    Song song;
    FM::OPN chip;
    RegisterLog log;
    std::unique_ptr<Sequencer> seq;

    void Add(int part, Command c) { song.AddToPart(part, c); }

    // Starts playback; the log then holds only what playback writes.
    void Start(uint32_t rate = 44100) {
        seq = std::make_unique<Sequencer>(&chip, &song);
        ASSERT_TRUE(seq->Init(rate));
        chip.SetRegisterObserver(&log);
    }

    // Runs one tick and leaves its writes in the log.
    void Tick() {
        log.writes.clear();
        seq->Tick();
    }
    void TickTo(int64_t tick) {
        while (seq->CurrentTick() < tick) seq->Tick();
    }

    std::optional<BlockFnum> FMPitch(uint32_t high, uint32_t low) const {
        const auto h = log.Last(high);
        const auto l = log.Last(low);
        if (!h || !l) return std::nullopt;
        return BlockFnum{static_cast<int>((*h >> 3) & 7), static_cast<int>(((*h & 7) << 8) | *l)};
    }
    std::optional<BlockFnum> FMPitch(int ch) const { return FMPitch(0xA4 + ch, 0xA0 + ch); }
    std::optional<int> SSGPeriod(int ch) const {
        const auto l = log.Last(2 * ch);
        const auto h = log.Last(2 * ch + 1);
        if (!h || !l) return std::nullopt;
        return static_cast<int>(((*h & 0x0F) << 8) | *l);
    }
    std::optional<int> SSGLevel(int ch) const {
        const auto v = log.Last(8 + ch);
        if (!v) return std::nullopt;
        return static_cast<int>(*v & 0x0F);
    }
    // Key writes of FM channel `ch` in this tick: true = on.
    std::vector<bool> FMKeys(int ch) const {
        std::vector<bool> keys;
        for (const auto& w : log.writes) {
            if (w.addr == 0x28 && (w.data & 3) == static_cast<uint32_t>(ch)) {
                keys.push_back((w.data & 0xF0) != 0);
            }
        }
        return keys;
    }
};
