#include "sequencer/FMController.h"

#include <tuple>

#include <algorithm>

#include "fm/OPN.h"

namespace sequencer {

void FMController::Write(uint32_t addr, uint32_t data) {
    chip_->SetReg(addr, data & 0xFF);
}

// 0x28 key on/off:  oooo -ccc   operator mask (op4..op1), channel
void FMController::KeyOnOff(int ch, bool on) {
    if (!Valid(ch)) return;
    keyOn_[ch] = on;
    Write(0x28, (on ? 0xF0u : 0x00u) | static_cast<uint32_t>(ch));
}

void FMController::SetVoice(int ch, const song::FMVoice& voice) {
    if (!Valid(ch)) return;
    voices_[ch] = voice;
    Write(0xB0 + ch, voice.fbAlg);
    for (int i = 0; i < 4; ++i) {
        const uint32_t r = ch + 4 * OPERATOR_SLOT[i];
        const song::FMOperatorBlock& op = voice.op[i];
        Write(0x30 + r, op.dtMul);
        Write(0x40 + r, op.tl);
        Write(0x50 + r, op.ksAr);
        Write(0x60 + r, op.dr);
        Write(0x70 + r, op.sr);
        Write(0x80 + r, op.slRr);
    }
    SetVolume(ch, volumes_[ch]);
}

void FMController::SetVolume(int ch, int32_t volume) {
    if (!Valid(ch)) return;
    volumes_[ch] = volume;
    const song::FMVoice& voice = voices_[ch];
    const int connection = voice.fbAlg & 7;
    for (int i = 0; i < 4; ++i) {
        const int slot = OPERATOR_SLOT[i];
        if (!CARRIER_TABLE[connection][slot]) continue;
        const int64_t level = int64_t{voice.op[i].tl} + 4 * (15 - int64_t{volume});
        Write(0x40 + ch + 4 * slot, static_cast<uint32_t>(std::clamp<int64_t>(level, 0, 127)));
    }
}

void FMController::SetFrequency(int ch, int32_t block, int32_t fnum) {
    if (!Valid(ch)) return;
    std::tie(block_[ch], fnum_[ch]) = Normalised(block, fnum);
    if (ch < 2) {
        WriteBlockFnum(0xA4 + ch, 0xA0 + ch, block, fnum);
        return;
    }
    // Channel 3: each operator at its own ratio of the note's frequency,
    // truncated. F-numbers are below 2^31 and ratios below 2, so the product fits.
    for (int i = 0; i < 4; ++i) {
        const double ratio = CH3_RATIO[voices_[2].op[i].ratio & 3];
        const auto f = static_cast<int64_t>(static_cast<double>(fnum) * ratio);
        WriteBlockFnum(CH3_FREQ_REGS[i][0], CH3_FREQ_REGS[i][1], block, f);
    }
}

// 0xA4-0xA6 / 0xAC-0xAE:  --bb bfff   block, F-number bits 10-8
// 0xA0-0xA2 / 0xA8-0xAA:  ffff ffff   F-number bits 7-0
void FMController::WriteBlockFnum(uint32_t highReg, uint32_t lowReg, int32_t block, int64_t fnum) {
    const auto [b, f] = Normalised(block, fnum);
    Write(highReg, static_cast<uint32_t>(((b & 7) << 3) | ((f >> 8) & 7)));
    Write(lowReg, static_cast<uint32_t>(f & 0xFF));
}

std::pair<int32_t, int32_t> FMController::Normalised(int64_t block, int64_t fnum) {
    fnum = std::max<int64_t>(fnum, 0);
    while (fnum >= 2048) {
        fnum /= 2;
        ++block;
    }
    return {static_cast<int32_t>(std::clamp<int64_t>(block, 0, 7)), static_cast<int32_t>(fnum)};
}

}  // namespace sequencer
