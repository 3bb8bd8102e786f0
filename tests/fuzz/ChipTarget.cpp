// Driving the sound generator directly with a stream of operations, decoded
// from the input one opcode byte at a time:
//   0  SetReg(a, d)            a, d: one byte each (the register map)
//   1  SetReg(a, d)            a: 16 bits, d: 32 bits (out-of-range values)
//   2  Mix(frames)             frames: 12 bits, into a buffer of that size
//   3  SetVolumeFM(db)         db: signed 32 bits
//   4  SetVolumePSG(db)        db: signed 32 bits
//   5  SetChannelMask(mask)    mask: 32 bits
//   6  Reset()
//   7  SetRate(clock, rate)    from small sets of plausible values
// The first byte picks the rate of the initial Init. Each Mix gets a buffer
// of exactly its size, so any write past it is caught.

#include <cstring>
#include <vector>

#include "FuzzTargets.h"
#include "fm/OPN.h"

namespace fuzz {
namespace {

constexpr uint32_t kClocks[] = {3993600, 3579545, 4000000, 7987200};
constexpr uint32_t kMaxMixedFrames = 1 << 17;  // per input, to keep inputs quick

class Reader {
  public:
    Reader(const uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool Done() const { return at_ >= size_; }
    uint32_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
    uint32_t Bits16() { return Byte() | Byte() << 8; }
    uint32_t Bits32() { return Bits16() | Bits16() << 16; }

  private:
    const uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

template <typename T, std::size_t N>
T Pick(const T (&table)[N], uint32_t index) {
    return table[index % N];
}

}  // namespace

int DriveChip(const uint8_t* data, std::size_t size) {
    Reader in(data, size);
    FM::OPN chip;
    chip.Init(kClocks[0], Pick(kRenderRates, in.Byte()));

    std::vector<int16_t> buffer;
    uint32_t mixed = 0;
    while (!in.Done()) {
        switch (in.Byte() % 8) {
            case 0: {
                const uint32_t addr = in.Byte();
                chip.SetReg(addr, in.Byte());
                break;
            }
            case 1: {
                const uint32_t addr = in.Bits16();
                chip.SetReg(addr, in.Bits32());
                break;
            }
            case 2: {
                const uint32_t frames = in.Bits16() % 4096;
                if (mixed + frames > kMaxMixedFrames) return 0;
                mixed += frames;
                // Fresh, exact-size storage: the sanitizer sees any overrun.
                buffer = std::vector<int16_t>(std::size_t{frames} * 2, 0);
                chip.Mix(buffer.data(), static_cast<int32_t>(frames));
                for (std::size_t i = 0; i + 1 < buffer.size(); i += 2) {
                    // Both sides carry the same mono mix.
                    FUZZ_CHECK(buffer[i] == buffer[i + 1]);
                }
                break;
            }
            case 3:
                chip.SetVolumeFM(static_cast<int32_t>(in.Bits32()));
                break;
            case 4:
                chip.SetVolumePSG(static_cast<int32_t>(in.Bits32()));
                break;
            case 5:
                chip.SetChannelMask(in.Bits32());
                break;
            case 6:
                chip.Reset();
                break;
            case 7: {
                const uint32_t clock = Pick(kClocks, in.Byte());
                chip.SetRate(clock, Pick(kRenderRates, in.Byte()));
                break;
            }
        }
    }
    return 0;
}

}  // namespace fuzz
