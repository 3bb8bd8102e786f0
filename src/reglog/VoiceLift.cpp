#include "reglog/VoiceLift.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <string>

namespace reglog {

namespace {

// Operator i of a voice sits at register offset 4 * kSlot[i] of its channel.
constexpr int kSlot[4] = {0, 2, 1, 3};

// Which operators (op1..op4) are carriers, per connection.
constexpr bool kCarrier[8][4] = {
    {false, false, false, true}, {false, false, false, true}, {false, false, false, true},
    {false, false, false, true}, {false, true, false, true},  {false, true, true, true},
    {false, true, true, true},   {true, true, true, true},
};

// Channel 3's operators in its special mode: the index of the frequency word
// (ChipState::frequency) each one plays, op1..op4.
constexpr int kSpecialWord[4] = {4, 5, 3, 2};

constexpr double kRatio[4] = {1.0, 1.41421356, 1.581, 1.7320508};

// The ratios of channel 3's operators from the four 14-bit block/F-number
// words they play: the combination with the smallest sum under which one
// base frequency explains all four. A player truncates base * ratio and
// halves the result into a higher block as often as it exceeds 11 bits, so
// each operator's word, as F-number << block, lies within 2 << block below
// base * ratio. All zero when nothing fits (a log that uses the mode for
// something else).
std::array<uint8_t, 4> RatiosOf(const std::array<uint16_t, 4>& words) {
    std::array<uint8_t, 4> best{};
    int bestSum = 99;
    for (int combination = 0; combination < 256; ++combination) {
        double least = 0.0;
        double most = 1e30;
        int sum = 0;
        for (int i = 0; i < 4; ++i) {
            const int r = (combination >> (2 * i)) & 3;
            const int block = words[i] >> 11;
            const double played = static_cast<double>(words[i] & 0x7FF) * (1 << block);
            least = std::max(least, played / kRatio[r]);
            most = std::min(most, (played + (2 << block)) / kRatio[r]);
            sum += r;
        }
        if (least > 0.0 && least <= most && sum < bestSum) {
            bestSum = sum;
            for (int i = 0; i < 4; ++i)
                best[i] = static_cast<uint8_t>((combination >> (2 * i)) & 3);
        }
    }
    return best;
}

int CarrierLevels(const song::FMVoice& voice) {
    int sum = 0;
    for (int i = 0; i < 4; ++i) sum += kCarrier[voice.fbAlg & 7][i] ? voice.op[i].tl : 0;
    return sum;
}

// Equal but for the carriers' levels, and for the ratios unless both are read.
bool SameVoice(const LiftedVoice& a, const LiftedVoice& b) {
    if (a.voice.fbAlg != b.voice.fbAlg) return false;
    for (int i = 0; i < 4; ++i) {
        song::FMOperatorBlock x = a.voice.op[i];
        song::FMOperatorBlock y = b.voice.op[i];
        if (kCarrier[a.voice.fbAlg & 7][i]) x.tl = y.tl = 0;
        if (!a.ratiosRead || !b.ratiosRead) x.ratio = y.ratio = 0;
        if (!(x == y)) return false;
    }
    return true;
}

}  // namespace

void VoiceLifter::Chips(const std::vector<FmChip>& chips) {
    chips_.clear();
    for (const FmChip& chip : chips) chips_.push_back({.chip = chip});
}

void VoiceLifter::Write(const ChipWrite& write) {
    if (write.chip >= chips_.size()) return;
    ChipState& state = chips_[write.chip];
    const uint8_t address = write.address;
    state.regs[write.port & 1][address] = write.data;
    if (write.port != 0) return;
    // 0xA0-0xA2 / 0xA8-0xAA  ffff ffff   F-number bits 7-0; completes the word with
    // 0xA4-0xA6 / 0xAC-0xAE  --bb bfff   block and F-number bits 10-8, latched before
    if ((address >= 0xA0 && address <= 0xA2) || (address >= 0xA8 && address <= 0xAA)) {
        const int k = (address & 3) + (address >= 0xA8 ? 3 : 0);
        state.frequency[k] =
            static_cast<uint16_t>(write.data | (state.regs[0][address + 4] & 0x3F) << 8);
    }
    // 0x28  key on/off  4321 -ccc   operator key bits; channel 0-2, 4-6 for the second bank
    if (address == 0x28) {
        const bool sixChannels = state.chip.kind != FmChipKind::kYM2203;
        const int code = write.data & (sixChannels ? 7 : 3);
        if ((code & 3) == 3) return;
        const int channel = (code & 3) + (code & 4 ? 3 : 0);
        const uint8_t keys = write.data >> 4;
        const bool started = (keys & ~state.keyed[channel]) != 0;
        state.keyed[channel] = keys;
        if (started) KeyOn(state, channel, write.sample);
    }
}

void VoiceLifter::KeyOn(const ChipState& state, int channel, int64_t sample) {
    const uint8_t* regs = state.regs[channel / 3];
    const int c = channel % 3;
    LiftedVoice heard;
    heard.chip = state.chip;
    heard.channel = channel;
    heard.sample = sample;
    // 0xB0  --ff faaa   feedback, connection
    heard.voice.fbAlg = regs[0xB0 + c] & 0x3F;
    for (int i = 0; i < 4; ++i) {
        const int r = c + 4 * kSlot[i];
        song::FMOperatorBlock& op = heard.voice.op[i];
        op.dtMul = regs[0x30 + r] & 0x7F;  // -ddd mmmm  detune, multiple
        op.tl = regs[0x40 + r] & 0x7F;     // -ttt tttt  total level
        op.ksAr = regs[0x50 + r] & 0xDF;   // kk-a aaaa  key scale, attack rate
        op.dr = regs[0x60 + r] & 0x1F;     // a--d dddd  (a: amplitude modulation on
        op.sr = regs[0x70 + r] & 0x1F;     //            OPNA/OPN2, not a voice value)
        op.slRr = regs[0x80 + r];          // ssss rrrr  sustain level, release rate
    }
    if (channel == 2) {
        heard.ratiosRead = true;
        // 0x27  mm-- ----  channel 3's mode: 0 normal, else one frequency per operator
        if (state.regs[0][0x27] & 0xC0) {
            std::array<uint16_t, 4> words{};
            for (int i = 0; i < 4; ++i) words[i] = state.frequency[kSpecialWord[i]];
            const std::array<uint8_t, 4> ratios = RatiosOf(words);
            for (int i = 0; i < 4; ++i) heard.voice.op[i].ratio = ratios[i];
        }
    }

    const int levels = CarrierLevels(heard.voice);
    for (std::size_t v = 0; v < voices_.size(); ++v) {
        LiftedVoice& known = voices_[v];
        if (!SameVoice(known, heard)) continue;
        if (heard.ratiosRead && !known.ratiosRead) {
            for (int i = 0; i < 4; ++i) known.voice.op[i].ratio = heard.voice.op[i].ratio;
            known.ratiosRead = true;
        }
        if (levels < carrierLevels_[v]) {
            carrierLevels_[v] = levels;
            for (int i = 0; i < 4; ++i) {
                if (kCarrier[heard.voice.fbAlg & 7][i]) known.voice.op[i].tl = heard.voice.op[i].tl;
            }
        }
        return;
    }
    voices_.push_back(heard);
    carrierLevels_.push_back(levels);
}

VoiceLiftResult LiftVoices(const uint8_t* data, std::size_t size, const Decompressor& decompress) {
    VoiceLifter lifter;
    VoiceLiftResult result;
    const LogReadResult read = ReadLogFileBytes(data, size, kMaxLogBytes, decompress);
    if (read.log) {
        ReadChipWrites(*read.log, lifter);
    } else {
        // Not a log of one YM2203 alone: perhaps one of its kin, or several chips.
        ChipWriteReadResult kin;
        if (size <= kMaxLogBytes) kin = ReadChipWrites(data, size, lifter, decompress);
        result.fault = kin.named ? kin.fault : read.fault;
    }
    result.voices = lifter.Voices();
    return result;
}

namespace {

// "m:ss.mmm" of a time in 1/44100 s.
std::string Clock(int64_t sample) {
    const int64_t ms = sample * 1000 / reglog::kLogRate;
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld.%03lld", static_cast<long long>(ms / 60000),
                  static_cast<long long>(ms / 1000 % 60), static_cast<long long>(ms % 1000));
    return text;
}

std::string Definition(int number, const reglog::LiftedVoice& lifted) {
    const song::FMVoice& v = lifted.voice;
    std::string head = "sound:@" + std::to_string(number);
    head.resize(std::max<std::size_t>(head.size() + 1, 32), ' ');
    char line[128];
    std::string text = head + "; first on FM" + std::to_string(lifted.channel + 1) + " of the " +
                       reglog::ChipName(lifted.chip) + " at " + Clock(lifted.sample) + "\n";
    std::snprintf(line, sizeof line, "lfo: 0,0,0, %d,%d\n", v.fbAlg & 7, (v.fbAlg >> 3) & 7);
    text += line;
    text += ";    AR DR SR RR SL  TL KS MUL DT ratio\n";
    for (int i = 0; i < 4; ++i) {
        const song::FMOperatorBlock& op = v.op[i];
        std::snprintf(line, sizeof line, "op%d: %2d,%2d,%2d,%2d,%2d,%3d,%2d,%3d,%2d,%2d\n", i + 1,
                      op.ksAr & 31, op.dr, op.sr, op.slRr & 15, op.slRr >> 4, op.tl, op.ksAr >> 6,
                      op.dtMul & 15, (op.dtMul >> 4) & 7, op.ratio);
        text += line;
    }
    return text;
}

}  // namespace

std::string VoiceDefinitions(const std::vector<reglog::LiftedVoice>& voices,
                             const std::string& log) {
    if (voices.empty()) return "; " + log + " keys on no FM voice\n";
    std::string text = "; " + std::to_string(voices.size()) + " FM voice" +
                       (voices.size() == 1 ? "" : "s") + " keyed on in " + log +
                       ", in order of first use\n";
    for (std::size_t i = 0; i < voices.size(); ++i) {
        text += "\n" + Definition(static_cast<int>(i) + 1, voices[i]);
    }
    return text;
}

}  // namespace reglog
