#pragma once
// The writes a log makes to the FM chips of its kind that share the YM2203's
// FM registers: the YM2203 itself (3 FM channels), the YM2608 and YM2610
// (OPNA, OPNB) and the YM2612 (OPN2), which add channels 4-6 through a second
// register bank (port 1) at the same addresses. A log may hold several of
// them; each write says which one. This is what voices are lifted from; it
// does not play.

#include <cstdint>
#include <string>
#include <vector>

#include "reglog/Formats.h"
#include "reglog/RegisterLog.h"

namespace reglog {

enum class FmChipKind { kYM2203, kYM2608, kYM2610, kYM2612 };

struct FmChip {
    FmChipKind kind = FmChipKind::kYM2203;
    int instance = 0;  // 0 for the first chip of its kind in the log, 1 for a second
    uint32_t clock = 0;
};

struct ChipWrite {
    int64_t sample = 0;  // when it is made, in 1/44100 s from the log's start
    uint8_t chip = 0;    // index into the chips the listener was given
    uint8_t port = 0;    // 0, or 1 for the second register bank
    uint8_t address = 0;
    uint8_t data = 0;
};

// Hears a log's writes in order, after the chips they go to.
class ChipWriteListener {
  public:
    virtual ~ChipWriteListener() = default;
    virtual void Chips(const std::vector<FmChip>& chips) = 0;  // once, before any write
    virtual void Write(const ChipWrite& write) = 0;
};

// What reading a log of these chips says: nothing when all went well, else a
// one-line fault, after which the writes heard so far mean nothing. `named`
// tells whether the file names chips other than one YM2203 (a YM2612, a
// second YM2203, an SN76489 beside it, ...): only then is it a file for this
// reader; otherwise it is one for ReadRegisterLog, whose verdict stands.
struct ChipWriteReadResult {
    std::string fault;
    bool named = false;
};

// Names a chip for the user: "YM2612", "YM2203 #2".
std::string ChipName(const FmChip& chip);

// A YM2203 log as the writes of one chip, its loop played once.
void ReadChipWrites(const RegisterLog& log, ChipWriteListener& listener);

// A file of a format in the table (Formats.h) whose row reads chip writes,
// holding any of the chips above, its loop played once; the writes to other
// chips (an SN76489 beside a YM2612, say) are skipped. A compressed file is
// passed through `decompress` first (without one it is a fault).
ChipWriteReadResult ReadChipWrites(const uint8_t* data, std::size_t size,
                                   ChipWriteListener& listener,
                                   const Decompressor& decompress = {});

// The formats table's readers: a VGM file (1.10 or later), an S98 file
// (version 3).
ChipWriteReadResult ReadVgmChipWrites(const uint8_t* data, std::size_t size,
                                      ChipWriteListener& listener);
ChipWriteReadResult ReadS98ChipWrites(const uint8_t* data, std::size_t size,
                                      ChipWriteListener& listener);

}  // namespace reglog
