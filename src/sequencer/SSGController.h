#pragma once
// Register writer for the three SSG channels (A, B, C): keys, volumes, tone
// periods and the hardware envelope become writes to registers 0x00-0x0D.
//
// Keying works through the mixer: a keyed-on channel has what its mix asks
// for enabled (tone by default, noise, both or neither), a keyed-off one has
// tone and noise disabled. A channel with neither sounds its level alone,
// shaped by the hardware envelope if it uses it; keyed off, its level is 0
// until it is keyed on again, so that it falls silent. Once a channel has
// used the hardware envelope its level register keeps bit 4 for the rest of
// the piece (while it sounds). The noise generator and its period are one
// for the three channels.

#include <array>
#include <cstdint>

namespace FM {
class OPN;
}

namespace sequencer {

class SSGController {
  public:
    explicit SSGController(FM::OPN* chip) : chip_(chip) {}
    // Writes to `chip` from now on (a copied sequencer's controllers move to its chip).
    void SetChip(FM::OPN* chip) { chip_ = chip; }

    // Channels are 0..2; requests for other channels are ignored.
    void KeyOnOff(int ch, bool on);
    // 0x07: 0x80, and the disable bits of what each channel does not sound:
    // for a keyed-off channel its tone and noise, for a keyed-on one what
    // its mix leaves out.
    void UpdateMixer();
    // Mix 0..3 (bit 0 tone, bit 1 noise; other bits ignored), used while the
    // channel is keyed on. Rewrites the mixer and the level.
    void SetMix(int ch, int32_t mix);
    // Noise period 0..31 (low five bits kept), for every channel.
    void SetNoisePeriod(int32_t period);
    // Volume 0..15 (low four bits kept), with bit 4 in envelope mode.
    void SetVolume(int ch, int32_t volume);
    void SetEnvelopeMode(int ch, bool on);
    // Tone period in 12 bits: low byte, then high nibble.
    void SetTone(int ch, int32_t period);
    void SetEnvelopePeriod(int32_t period);
    void SetEnvelopeShape(int32_t shape);

    bool KeyedOn(int ch) const { return keyOn_[ch]; }
    bool EnvelopeMode(int ch) const { return envelopeMode_[ch]; }
    int32_t Tone(int ch) const { return tone_[ch]; }  // the 12-bit period last written
    // The tone's frequency in Hz for a period on a chip at `clock` (the SSG
    // counts at a quarter of it; a period 0 counts as 1).
    static double Frequency(int32_t period, uint32_t clock) {
        return clock / 32.0 / (period > 0 ? period : 1);
    }
    int32_t Mix(int ch) const { return mix_[ch]; }

  private:
    static constexpr int32_t kTone = 1;
    static constexpr int32_t kNoise = 2;

    static bool Valid(int ch) { return ch >= 0 && ch < 3; }
    void Write(uint32_t addr, uint32_t data);
    void WriteLevel(int ch);

    FM::OPN* chip_;
    std::array<bool, 3> keyOn_{};
    std::array<bool, 3> envelopeMode_{};
    std::array<int32_t, 3> volumes_{15, 15, 15};
    std::array<int32_t, 3> tone_{};
    std::array<int32_t, 3> mix_{kTone, kTone, kTone};
};

}  // namespace sequencer
