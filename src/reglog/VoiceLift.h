#pragma once
// FM voices out of a register log: every distinct voice the log keys on, as
// the dialect's voice definitions hold them, in order of first key-on.
//
// A voice is read from the channel's registers at the moment a key-on write
// (0x28) starts one of its operators, so a level swept while a note sounds is
// taken as it was at the note's start. The carriers' total level holds the
// part's volume as well as the voice's own level, so voices that differ only
// there are one voice, and it keeps the lowest (loudest) levels any of its
// key-ons had: the voice's own, wherever it played at full volume.
//
// The three unused lfo values are 0. The operators' ratios are read only on
// channel 3 (of the first register bank), from the frequencies of its special
// mode: the smallest ratios that explain them. On the other channels they are
// unknown and 0, and a voice heard there and on channel 3 is one voice, with
// channel 3's ratios.

#include <cstdint>
#include <string>
#include <vector>

#include "reglog/ChipWrites.h"
#include "song/FMVoice.h"

namespace reglog {

struct LiftedVoice {
    song::FMVoice voice;
    FmChip chip;              // where it was first keyed on
    int channel = 0;          // 0-5: FM1 to FM6 of that chip
    int64_t sample = 0;       // when, in 1/44100 s from the log's start
    bool ratiosRead = false;  // heard on channel 3, so the ratios were read
};

class VoiceLifter : public ChipWriteListener {
  public:
    void Chips(const std::vector<FmChip>& chips) override;
    void Write(const ChipWrite& write) override;

    // The voices so far, numbered by their place (the first is voice 1).
    const std::vector<LiftedVoice>& Voices() const { return voices_; }

  private:
    struct ChipState {
        FmChip chip;
        uint8_t regs[2][256] = {};   // [port][address], as last written
        uint8_t keyed[6] = {};       // operator key bits of each channel
        uint16_t frequency[6] = {};  // channel 3's block and F-number words: 0xA0-0xA2 and
                                     // 0xA8-0xAA (special mode) of port 0, as the chip latches them
    };

    void KeyOn(const ChipState& state, int channel, int64_t sample);

    std::vector<ChipState> chips_;
    std::vector<LiftedVoice> voices_;
    std::vector<int> carrierLevels_;  // per voice: the sum of its carriers' levels kept
};

// The voices of a log file's bytes: a YM2203 log of any format in the table,
// or a log of one of its kin (several chips, a YM2612 or YM2608 among them);
// a compressed file through `decompress`. The fault says why the file
// cannot be read, as `info` says it of a YM2203 log.
struct VoiceLiftResult {
    std::vector<LiftedVoice> voices;
    std::string fault;
};
VoiceLiftResult LiftVoices(const uint8_t* data, std::size_t size, const Decompressor& decompress);

// The voices as the dialect's definitions, ready to paste: numbered from 1
// in order of first use, each with a comment saying where and when it first
// sounds; `log` names the file in the heading.
std::string VoiceDefinitions(const std::vector<LiftedVoice>& voices, const std::string& log);

}  // namespace reglog
