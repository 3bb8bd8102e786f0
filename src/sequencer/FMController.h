#pragma once
// Register writer for the three FM channels: voices, channel volumes, keys and
// pitches become YM2203 register writes.
//
// It keeps a copy of each channel's voice, because the volume depends on
// which operators are carriers and channel 3's per-operator frequencies on the
// voice's ratio bytes. Channel 3 is expected in its special mode (register
// 0x27 = 0x40, set by the sequencer), so its pitch is always written as four
// per-operator values.
//
// Deliberate choice: a carrier's level tl + 4 * (15 - volume) is limited to
// 0..127. The register keeps only 7 bits, so an unlimited sum would wrap and
// turn a quieter volume into a loud one (120 + 60 = 180 would sound as 52).

#include <array>
#include <cstdint>
#include <utility>

#include "song/FMVoice.h"

namespace FM {
class OPN;
}

namespace sequencer {

class FMController {
  public:
    // Register offset of voice operator i (op1..op4) within a channel's block:
    // the chip orders the operator slots 1, 3, 2, 4.
    static constexpr std::array<int, 4> OPERATOR_SLOT = {0, 2, 1, 3};
    // [connection][slot]: 1 where the slot is a carrier (its level is the output level).
    static constexpr uint8_t CARRIER_TABLE[8][4] = {
        {0, 0, 0, 1}, {0, 0, 0, 1}, {0, 0, 0, 1}, {0, 0, 0, 1},
        {0, 0, 1, 1}, {0, 1, 1, 1}, {0, 1, 1, 1}, {1, 1, 1, 1},
    };
    // Frequency multipliers on channel 3, indexed by an operator's ratio byte.
    static constexpr std::array<double, 4> CH3_RATIO = {1.0, 1.41421356, 1.581, 1.7320508};
    // Channel 3 special mode: (block/high, low) register pair per voice operator.
    static constexpr std::array<std::array<uint32_t, 2>, 4> CH3_FREQ_REGS = {{
        {0xAD, 0xA9},  // op1
        {0xAE, 0xAA},  // op2
        {0xAC, 0xA8},  // op3
        {0xA6, 0xA2},  // op4
    }};

    explicit FMController(FM::OPN* chip) : chip_(chip) {}
    // Writes to `chip` from now on (a copied sequencer's controllers move to its chip).
    void SetChip(FM::OPN* chip) { chip_ = chip; }

    // Channels are 0..2; requests for other channels are ignored.
    void KeyOnOff(int ch, bool on);
    // Copies the voice, writes its registers, then the carriers' levels.
    void SetVoice(int ch, const song::FMVoice& voice);
    // Volume 0..15 (one step = 4 total-level steps on each carrier).
    void SetVolume(int ch, int32_t volume);
    // Block (octave) and F-number of any size; normalised into 11 bits.
    void SetFrequency(int ch, int32_t block, int32_t fnum);
    // Halves the F-number into 11 bits raising the block, caps the block at 7,
    // then writes the high register (block, F-number bits 10-8) before the low.
    void WriteBlockFnum(uint32_t highReg, uint32_t lowReg, int32_t block, int64_t fnum);

    const song::FMVoice& Voice(int ch) const { return voices_[ch]; }
    int32_t Volume(int ch) const { return volumes_[ch]; }
    bool KeyedOn(int ch) const { return keyOn_[ch]; }
    // The channel's pitch as last written: block and 11-bit F-number (channel
    // 3: the note's, before each operator's ratio).
    int32_t Block(int ch) const { return block_[ch]; }
    int32_t Fnum(int ch) const { return fnum_[ch]; }
    // The frequency in Hz that block and F-number give on a chip at `clock`.
    // One FM sample per 72 clocks; the phase advances by F-number << block,
    // halved, per sample, and a turn is 2^20.
    static double Frequency(int32_t block, int32_t fnum, uint32_t clock) {
        return static_cast<double>(fnum << block) * (clock / (72.0 * 2097152.0));
    }

  private:
    static bool Valid(int ch) { return ch >= 0 && ch < 3; }
    void Write(uint32_t addr, uint32_t data);
    // The block and F-number WriteBlockFnum writes for these.
    static std::pair<int32_t, int32_t> Normalised(int64_t block, int64_t fnum);

    FM::OPN* chip_;
    std::array<song::FMVoice, 3> voices_{};
    std::array<int32_t, 3> volumes_{15, 15, 15};
    std::array<bool, 3> keyOn_{};
    std::array<int32_t, 3> block_{};
    std::array<int32_t, 3> fnum_{};
};

}  // namespace sequencer
