// Deliberate choices:
// - The reader accepts versions 1.51 and later (the first with a YM2203
//   clock) and any YM2203 clock from kMinClock to kMaxClock; a header that
//   names any other chip is refused, naming every such chip.
// - The header ends where the data starts: fields beyond the data offset
//   read as 0, as in files of older versions.
// - The total and loop sample counts of the header are not trusted: they are
//   recomputed from the commands.
// - A damaged GD3 tag (one cut short, with fewer than its eleven strings, or
//   an offset that points at no tag) leaves the music intact: the log is read
//   with the strings there are and a warning. So is a loop that holds no
//   waits, which would never end: the log plays once.
// - A log that asks for more writes in a second than any song can make is a
//   fault (WriteRate.h), named by the offset where that second starts.
#include "reglog/Vgm.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <string>

#include "reglog/Bytes.h"
#include "reglog/VgmFormat.h"
#include "reglog/WriteRate.h"
#include "text/Utf8.h"

namespace reglog {

namespace {

// Commands written between two polls of the caller: a few milliseconds.
constexpr std::size_t kCommandsPerPoll = std::size_t{1} << 16;

using namespace vgm;

constexpr uint32_t kGd3Ident = 0x20336447;  // "Gd3 "
constexpr uint32_t kVersion = 0x171;
constexpr std::size_t kHeaderSize = 0x100;

// GD3 fields in file order.
enum Gd3Field {
    kTrack,
    kTrackOriginal,
    kGame,
    kGameOriginal,
    kSystem,
    kSystemOriginal,
    kAuthor,
    kAuthorOriginal,
    kDate,
    kMaker,
    kNotes,
    kGd3FieldCount
};

std::string Hex(uint32_t value) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text = "0x";
    bool started = false;
    for (int shift = 28; shift >= 0; shift -= 4) {
        const uint32_t d = (value >> shift) & 15;
        if (d != 0 || started || shift < 8) {
            text += digits[d];
            started = true;
        }
    }
    return text;
}

// --- text ------------------------------------------------------------------

// The tag's UTF-16 for a UTF-8 text (malformed bytes become U+FFFD). A line
// break (LF, CR LF or CR) becomes 0x000A where `keepLines`, else a space.
std::u16string ToUtf16(const std::string& utf8, bool keepLines) {
    const std::u16string units = text::Utf8ToUtf16(utf8);
    std::u16string out;
    for (std::size_t i = 0; i < units.size(); ++i) {
        const char16_t unit = units[i];
        if (unit != u'\r' && unit != u'\n') {
            out += unit;
            continue;
        }
        if (unit == u'\r' && i + 1 < units.size() && units[i + 1] == u'\n') ++i;
        out += keepLines ? u'\n' : u' ';
    }
    return out;
}

// --- writing ---------------------------------------------------------------

void WriteWait(ByteWriter& out, uint32_t samples) {
    do {
        const uint32_t n = std::min<uint32_t>(samples, 0xFFFF);
        if (n >= 1 && n <= 16) {
            out.U8(0x70 + n - 1);
        } else if (n == 735) {
            out.U8(0x62);
        } else if (n == 882) {
            out.U8(0x63);
        } else {
            out.U8(0x61);
            out.U16(n);
        }
        samples -= n;
    } while (samples > 0);
}

void WriteGd3(ByteWriter& out, const LogTags& tags) {
    std::array<std::u16string, kGd3FieldCount> fields;
    fields[kTrack] = ToUtf16(tags.title, false);
    fields[kGame] = ToUtf16(tags.game, false);
    fields[kSystem] = ToUtf16(tags.system, false);
    fields[kAuthor] = ToUtf16(tags.author, false);
    fields[kDate] = ToUtf16(tags.date, false);
    fields[kMaker] = ToUtf16(tags.maker, false);
    fields[kNotes] = ToUtf16(tags.notes, true);
    uint32_t length = 0;
    for (const std::u16string& f : fields) length += 2 * (static_cast<uint32_t>(f.size()) + 1);
    out.U32(kGd3Ident);
    out.U32(0x100);
    out.U32(length);
    for (const std::u16string& f : fields) {
        for (char16_t unit : f) out.U16(unit);
        out.U16(0);
    }
}

// --- reading ---------------------------------------------------------------

// The name of a data command that is not for the one YM2203.
std::string ForeignCommand(uint32_t op) {
    switch (op) {
        case 0x4F:
        case 0x50:
            return "an SN76489 write";
        case 0x51:
            return "a YM2413 write";
        case 0x52:
        case 0x53:
            return "a YM2612 write";
        case 0x54:
            return "a YM2151 write";
        case 0x56:
        case 0x57:
            return "a YM2608 write";
        case 0x58:
        case 0x59:
            return "a YM2610 write";
        case 0x5A:
            return "a YM3812 write";
        case 0x5B:
            return "a YM3526 write";
        case 0x5C:
            return "a Y8950 write";
        case 0x5D:
            return "a YMZ280B write";
        case 0x5E:
        case 0x5F:
            return "a YMF262 write";
        case 0xA0:
            return "an AY8910 write";
        case 0xA5:
            return "a write to a second YM2203";
        default:
            break;
    }
    if (op >= 0x80 && op <= 0x8F) return "a YM2612 sample write";
    if (op >= 0x90 && op <= 0x95) return "a sample stream command";
    return "command " + Hex(op) + ", which is not for a YM2203";
}

LogReadResult Fault(std::string text) {
    LogReadResult result;
    result.fault = std::move(text);
    return result;
}

// Reads the tag into `tags`; for a damaged tag, what it holds and a
// one-line `warning`.
void ReadGd3(const uint8_t* data, std::size_t size, uint64_t at, LogTags& tags,
             std::string& warning) {
    ByteReader in(data, size);
    in.Seek(at > size ? size + 1 : static_cast<std::size_t>(at));
    const uint32_t ident = in.U32();
    in.U32();  // version
    uint32_t length = in.U32();
    if (!in.Ok() || ident != kGd3Ident) {
        warning = "the GD3 tag offset does not point at a GD3 tag; no tags read";
        return;
    }
    if (length > in.Left()) {
        warning = "the GD3 tag is cut short";
        length = static_cast<uint32_t>(in.Left());
    }
    ByteReader text(data + in.Position(), length);
    std::array<std::string, kGd3FieldCount> fields;
    int count = 0;
    while (count < kGd3FieldCount && text.Ok() && !text.AtEnd()) {
        std::u16string units;
        for (;;) {
            const auto unit = static_cast<char16_t>(text.U16());
            if (!text.Ok() || unit == 0) break;
            units += unit;
        }
        fields[count++] = text::Utf16ToUtf8(units);
    }
    if (count < kGd3FieldCount && warning.empty()) {
        warning = "the GD3 tag holds " + std::to_string(count) + " of its " +
                  std::to_string(int{kGd3FieldCount}) + " strings";
    }
    auto pick = [&](Gd3Field english, Gd3Field original) {
        return fields[english].empty() ? fields[original] : fields[english];
    };
    tags.title = pick(kTrack, kTrackOriginal);
    tags.game = pick(kGame, kGameOriginal);
    tags.system = pick(kSystem, kSystemOriginal);
    tags.author = pick(kAuthor, kAuthorOriginal);
    tags.date = fields[kDate];
    tags.maker = fields[kMaker];
    tags.notes = fields[kNotes];
}

// Commands of the VGM command set that address other chips or features.
// A command the format defines but a log of the one YM2203 does not hold.
bool IsForeign(uint32_t op) {
    return op != 0x55 && OperandBytes(op) >= 0;
}

}  // namespace

std::vector<uint8_t> WriteVgm(const RegisterLog& log, const std::function<void()>& poll) {
    ByteWriter out;
    out.PadTo(kHeaderSize);
    std::size_t loopAt = 0;
    for (std::size_t i = 0; i < log.commands.size(); ++i) {
        if (poll && i % kCommandsPerPoll == 0) poll();
        if (log.loopStart == i) loopAt = out.Size();
        const LogCommand& c = log.commands[i];
        if (c.kind == LogCommand::Kind::kWrite) {
            out.U8(0x55);
            out.U8(c.address);
            out.U8(c.data);
        } else {
            WriteWait(out, c.samples);
        }
    }
    if (log.loopStart && *log.loopStart >= log.commands.size()) loopAt = out.Size();
    out.U8(0x66);
    const std::size_t gd3At = out.Size();
    WriteGd3(out, log.tags);

    out.PatchU32(0, kIdent);
    out.PatchU32(kEofOffset, static_cast<uint32_t>(out.Size() - kEofOffset));
    out.PatchU32(kVersionOffset, kVersion);
    out.PatchU32(kGd3Offset, static_cast<uint32_t>(gd3At - kGd3Offset));
    out.PatchU32(kTotalSamples, static_cast<uint32_t>(log.TotalSamples()));
    if (log.loopStart) {
        out.PatchU32(kLoopOffset, static_cast<uint32_t>(loopAt - kLoopOffset));
        out.PatchU32(kLoopSamples, static_cast<uint32_t>(log.LoopSamples()));
    }
    out.PatchU32(kDataOffset, static_cast<uint32_t>(kHeaderSize - kDataOffset));
    out.PatchU32(kYM2203ClockOffset, log.clock);
    return out.Take();
}

LogReadResult ReadVgm(const uint8_t* data, std::size_t size) {
    if (FieldU32(data, size, 0) != kIdent)
        return Fault("not a VGM file (no \"Vgm \" at the start)");
    if (size < 0x40) return Fault("the VGM header is cut short");
    const uint64_t end = uint64_t{FieldU32(data, size, kEofOffset)} + kEofOffset;
    if (end > size) {
        return Fault("the file is cut short: its header gives " + std::to_string(end) +
                     " bytes, it holds " + std::to_string(size));
    }
    const uint32_t version = FieldU32(data, size, kVersionOffset);
    if (version < 0x151) {
        return Fault("VGM version " + Hex(version) + " names no YM2203 (1.51 or later needed)");
    }
    const uint32_t dataRelative = FieldU32(data, size, kDataOffset);
    const uint64_t dataAt = dataRelative == 0 ? 0x40 : uint64_t{dataRelative} + kDataOffset;
    if (dataAt < 0x40 || dataAt > end) return Fault("the data offset points outside the file");
    // The header is what lies before the data.
    auto field = [&](std::size_t offset) {
        return offset + 4 <= dataAt ? FieldU32(data, size, offset) : 0u;
    };

    std::string others;
    for (const ChipField& chip : kOtherChips) {
        if ((field(chip.offset) & kClockMask) != 0) {
            others += others.empty() ? "" : ", ";
            others += chip.name;
        }
    }
    if (!others.empty()) return Fault("uses chips velnari does not play: " + others);
    const uint32_t clockField = field(kYM2203ClockOffset);
    const uint32_t clock = clockField & kClockMask;
    if (clock == 0) return Fault("uses no YM2203");
    if (clockField & kSecondChip) return Fault("uses two YM2203 chips; velnari plays one");
    if (clock < kMinClock || clock > kMaxClock) {
        return Fault("YM2203 clock " + std::to_string(clock) + " Hz is outside " +
                     std::to_string(kMinClock) + "-" + std::to_string(kMaxClock) + " Hz");
    }

    LogReadResult result;
    RegisterLog& log = result.log.emplace();
    log.clock = clock;
    // The version field is BCD: 0x171 is 1.71.
    char versionText[16];
    std::snprintf(versionText, sizeof versionText, "%x.%02x", version >> 8, version & 0xFF);
    result.origin.format = std::string("VGM ") + versionText;
    result.origin.dataBytes = size;

    const uint32_t loopRelative = field(kLoopOffset);
    const uint64_t loopAt = loopRelative == 0 ? 0 : uint64_t{loopRelative} + kLoopOffset;
    ByteReader in(data, static_cast<std::size_t>(end));
    in.Seek(static_cast<std::size_t>(dataAt));
    std::vector<uint32_t> offsets;  // of each command, for the write-rate fault
    bool ended = false;
    while (!in.AtEnd()) {
        const std::size_t at = in.Position();
        if (loopAt != 0 && at == loopAt) log.loopStart = log.commands.size();
        const uint32_t op = in.U8();
        if (op == 0x66) {
            ended = true;
            break;
        }
        if (op == 0x55) {
            const uint32_t address = in.U8();
            const uint32_t value = in.U8();
            log.commands.push_back(
                LogCommand::Write(static_cast<uint8_t>(address), static_cast<uint8_t>(value)));
        } else if (op == 0x61) {
            log.commands.push_back(LogCommand::Wait(in.U16()));
        } else if (op == 0x62) {
            log.commands.push_back(LogCommand::Wait(735));
        } else if (op == 0x63) {
            log.commands.push_back(LogCommand::Wait(882));
        } else if (op >= 0x70 && op <= 0x7F) {
            log.commands.push_back(LogCommand::Wait(op - 0x6F));
        } else if (op == 0x67) {
            // Data block: 0x67 0x66 type size32 bytes...; no use for a YM2203.
            const uint32_t guard = in.U8();
            in.U8();
            const uint32_t length = in.U32();
            if (in.Ok() && guard != 0x66) {
                return Fault("a malformed data block at offset " + Hex(static_cast<uint32_t>(at)));
            }
            in.Skip(length & 0x7FFFFFFF);
        } else if (IsForeign(op)) {
            return Fault("holds " + ForeignCommand(op) + " at offset " +
                         Hex(static_cast<uint32_t>(at)));
        } else {
            return Fault("unknown command " + Hex(op) + " at offset " +
                         Hex(static_cast<uint32_t>(at)));
        }
        offsets.resize(log.commands.size(), static_cast<uint32_t>(at));
        if (!in.Ok()) break;
    }
    if (!in.Ok() || !ended) return Fault("the data is cut short (no end-of-data command 0x66)");
    if (log.TotalSamples() > kMaxLogSamples) {
        return Fault("longer than " + std::to_string(kMaxLogSamples) + " samples");
    }
    if (loopAt != 0 && loopAt >= end) {
        return Fault("the loop offset " + Hex(loopRelative) + " points past the end of the file");
    }
    if (loopAt != 0 && !log.loopStart) {
        return Fault("the loop offset " + Hex(loopRelative) + " (position " +
                     Hex(static_cast<uint32_t>(loopAt)) + ") does not point at a command");
    }
    if (log.loopStart && log.LoopSamples() == 0) {
        result.warnings.push_back(kLoopWithoutWaits);
        log.loopStart.reset();
    }
    if (const auto flood = FindWriteFlood(log)) {
        return Fault(FloodText(*flood, "offset " + Hex(offsets[flood->command])));
    }

    const uint32_t gd3Relative = field(kGd3Offset);
    if (gd3Relative != 0) {
        std::string warning;
        ReadGd3(data, static_cast<std::size_t>(end), uint64_t{gd3Relative} + kGd3Offset, log.tags,
                warning);
        if (!warning.empty()) result.warnings.push_back(warning);
    }
    return result;
}

}  // namespace reglog
