#include "sequencer/SSGController.h"

#include "fm/OPN.h"

namespace sequencer {

void SSGController::Write(uint32_t addr, uint32_t data) {
    chip_->SetReg(addr, data & 0xFF);
}

void SSGController::KeyOnOff(int ch, bool on) {
    if (!Valid(ch)) return;
    const bool changed = keyOn_[ch] != on;
    keyOn_[ch] = on;
    UpdateMixer();
    // With neither tone nor noise the level is the sound: it follows the key.
    if (mix_[ch] == 0 && changed) WriteLevel(ch);
}

// 0x07 mixer:  10nn nttt   noise disable C-A, tone disable C-A (1 = off)
void SSGController::UpdateMixer() {
    uint32_t value = 0x80;
    for (int i = 0; i < 3; ++i) {
        const int32_t sounds = keyOn_[i] ? mix_[i] : 0;
        if (!(sounds & kTone)) value |= 1u << i;
        if (!(sounds & kNoise)) value |= 8u << i;
    }
    Write(0x07, value);
}

void SSGController::SetMix(int ch, int32_t mix) {
    if (!Valid(ch)) return;
    mix_[ch] = mix & (kTone | kNoise);
    UpdateMixer();
    WriteLevel(ch);
}

// 0x06 noise period:  ---n nnnn
void SSGController::SetNoisePeriod(int32_t period) {
    Write(0x06, static_cast<uint32_t>(period) & 0x1F);
}

// 0x08-0x0A level:  ---m vvvv   envelope mode, fixed level
void SSGController::SetVolume(int ch, int32_t volume) {
    if (!Valid(ch)) return;
    volumes_[ch] = volume;
    WriteLevel(ch);
}

void SSGController::WriteLevel(int ch) {
    if (mix_[ch] == 0 && !keyOn_[ch]) {
        Write(0x08 + ch, 0);
        return;
    }
    Write(0x08 + ch,
          (envelopeMode_[ch] ? 0x10u : 0u) | (static_cast<uint32_t>(volumes_[ch]) & 0x0F));
}

void SSGController::SetEnvelopeMode(int ch, bool on) {
    if (!Valid(ch)) return;
    envelopeMode_[ch] = on;
    SetVolume(ch, volumes_[ch]);
}

// 0x00/0x02/0x04 tone low: pppp pppp;  0x01/0x03/0x05 tone high: ---- pppp
void SSGController::SetTone(int ch, int32_t period) {
    if (!Valid(ch)) return;
    const auto p = static_cast<uint32_t>(period);
    tone_[ch] = static_cast<int32_t>(p & 0xFFF);
    Write(2 * ch, p & 0xFF);
    Write(2 * ch + 1, (p >> 8) & 0x0F);
}

// 0x0B envelope period low, 0x0C high (16 bits in all).
void SSGController::SetEnvelopePeriod(int32_t period) {
    const auto p = static_cast<uint32_t>(period);
    Write(0x0B, p & 0xFF);
    Write(0x0C, (p >> 8) & 0xFF);
}

// 0x0D envelope shape: the chip keeps the bits it uses.
void SSGController::SetEnvelopeShape(int32_t shape) {
    Write(0x0D, static_cast<uint32_t>(shape) & 0xFF);
}

}  // namespace sequencer
