// Deliberate choices:
// - Any chip may sit beside these ones; its commands are stepped over by
//   their length, so only a command the VGM format does not define, or data
//   cut short, is a fault. A write to one of these chips that the header
//   does not name (no clock) is stepped over too.
// - S98 files with no device record mean one OPNA, as the format says.
// - A log longer than kMaxLogSamples is refused, as the YM2203 reader does.
#include "reglog/ChipWrites.h"

#include <array>

#include "reglog/Bytes.h"
#include "reglog/Formats.h"
#include "reglog/VgmFormat.h"

namespace reglog {

namespace {

using namespace vgm;

// The header's clock field of each kind, and the write commands of its first
// and second chip for port 0 and port 1 (0: none).
struct VgmKind {
    FmChipKind kind;
    std::size_t clockAt;
    std::array<uint8_t, 2> first;
    std::array<uint8_t, 2> second;
};
constexpr VgmKind kVgmKinds[] = {
    {FmChipKind::kYM2203, 0x44, {0x55, 0}, {0xA5, 0}},
    {FmChipKind::kYM2608, 0x48, {0x56, 0x57}, {0xA6, 0xA7}},
    {FmChipKind::kYM2610, 0x4C, {0x58, 0x59}, {0xA8, 0xA9}},
    {FmChipKind::kYM2612, 0x2C, {0x52, 0x53}, {0xA2, 0xA3}},
};

const char* KindName(FmChipKind kind) {
    switch (kind) {
        case FmChipKind::kYM2203:
            return "YM2203";
        case FmChipKind::kYM2608:
            return "YM2608";
        case FmChipKind::kYM2610:
            return "YM2610";
        case FmChipKind::kYM2612:
            return "YM2612";
    }
    return "?";
}

ChipWriteReadResult Fault(std::string text, bool named) {
    return {std::move(text), named};
}

std::string TooLong() {
    return "longer than " + std::to_string(kMaxLogSamples) + " samples";
}

ChipWriteReadResult ReadVgm(const uint8_t* data, std::size_t size, ChipWriteListener& listener) {
    if (size < 0x40) return Fault("the VGM header is cut short", false);
    const uint64_t end = uint64_t{FieldU32(data, size, kEofOffset)} + kEofOffset;
    const uint32_t version = FieldU32(data, size, kVersionOffset);
    const uint32_t dataRelative = version >= 0x150 ? FieldU32(data, size, kDataOffset) : 0;
    const uint64_t dataAt = dataRelative == 0 ? 0x40 : uint64_t{dataRelative} + kDataOffset;
    auto field = [&](std::size_t offset) {
        return offset + 4 <= dataAt ? FieldU32(data, size, offset) : 0u;
    };

    // Chips in the order of the table: each kind's first chip, then its second.
    std::vector<FmChip> chips;
    std::array<std::array<int, 2>, std::size(kVgmKinds)> index{};
    for (std::size_t k = 0; k < std::size(kVgmKinds); ++k) {
        const uint32_t clock = field(kVgmKinds[k].clockAt);
        index[k] = {-1, -1};
        for (int instance = 0; instance < 2; ++instance) {
            if ((clock & kClockMask) == 0 || (instance == 1 && !(clock & kSecondChip))) break;
            index[k][instance] = static_cast<int>(chips.size());
            chips.push_back({kVgmKinds[k].kind, instance, clock & kClockMask});
        }
    }
    int clocks = 0;
    const auto count = [&](std::size_t at) {
        const uint32_t clock = field(at);
        clocks +=
            ((clock & kClockMask) != 0) + ((clock & kClockMask) != 0 && (clock & kSecondChip));
    };
    count(kYM2203ClockOffset);
    for (const ChipField& chip : kOtherChips) count(chip.offset);
    const bool named = !chips.empty() && (clocks > 1 || chips[0].kind != FmChipKind::kYM2203);
    if (chips.empty()) return Fault("uses no YM2203, YM2608, YM2610 or YM2612", false);
    if (version < 0x110) return Fault("VGM version is older than 1.10", named);
    if (end > size) return Fault("the file is cut short", named);
    if (dataAt > end) return Fault("the data offset points outside the file", named);
    listener.Chips(chips);

    ByteReader in(data, static_cast<std::size_t>(end));
    in.Seek(static_cast<std::size_t>(dataAt));
    int64_t sample = 0;
    while (in.Ok() && !in.AtEnd()) {
        const std::size_t at = in.Position();
        const uint32_t op = in.U8();
        uint32_t wait = 0;
        if (op == 0x66) return {"", named};
        if (op == 0x61) {
            wait = in.U16();
        } else if (op == 0x62 || op == 0x63) {
            wait = op == 0x62 ? 735 : 882;
        } else if (op >= 0x70 && op <= 0x7F) {
            wait = op - 0x6F;
        } else if (op == 0x67) {
            in.Skip(2);  // 0x66, type
            in.Skip(in.U32() & 0x7FFFFFFF);
        } else if (const int operands = OperandBytes(op); operands < 0) {
            return Fault(
                "unknown command " + std::to_string(op) + " at offset " + std::to_string(at),
                named);
        } else {
            if (op >= 0x80 && op <= 0x8F) wait = op - 0x80;
            bool written = false;
            for (std::size_t k = 0; k < std::size(kVgmKinds) && !written; ++k) {
                for (int instance = 0; instance < 2 && !written; ++instance) {
                    const auto& ops = instance == 0 ? kVgmKinds[k].first : kVgmKinds[k].second;
                    for (uint8_t port = 0; port < 2 && !written; ++port) {
                        if (ops[port] != op || ops[port] == 0) continue;
                        written = true;
                        const uint32_t address = in.U8();
                        const uint32_t value = in.U8();
                        if (!in.Ok()) break;
                        if (index[k][instance] < 0) break;
                        listener.Write({sample, static_cast<uint8_t>(index[k][instance]), port,
                                        static_cast<uint8_t>(address),
                                        static_cast<uint8_t>(value)});
                    }
                }
            }
            if (!written) in.Skip(static_cast<std::size_t>(operands));
        }
        sample += wait;
        if (sample > kMaxLogSamples) return Fault(TooLong(), named);
    }
    return Fault("the data is cut short (no end-of-data command 0x66)", named);
}

ChipWriteReadResult ReadS98(const uint8_t* data, std::size_t size, ChipWriteListener& listener) {
    ByteReader in(data, size);
    in.Seek(4);
    uint32_t numerator = in.U32();
    uint32_t denominator = in.U32();
    in.Skip(8);  // compression, tag offset
    const uint32_t dumpAt = in.U32();
    in.Skip(4);  // loop offset
    const uint32_t devices = in.U32();
    if (!in.Ok()) return Fault("the S98 header is cut short", false);

    // Each device's index among the chips, -1 for a device of another kind.
    std::vector<FmChip> chips;
    std::vector<int> index;
    for (uint32_t d = 0; d < std::max<uint32_t>(devices, 1) && d < 64; ++d) {
        const uint32_t type = devices == 0 ? 4 : in.U32();
        const uint32_t clock = devices == 0 ? 7987200 : in.U32();
        if (devices != 0) in.Skip(8);  // pan, reserved
        if (!in.Ok()) return Fault("the device list is cut short", false);
        index.push_back(-1);
        if (type < 2 || type > 4) continue;
        const FmChipKind kind = type == 2   ? FmChipKind::kYM2203
                                : type == 3 ? FmChipKind::kYM2612
                                            : FmChipKind::kYM2608;
        int instance = 0;
        for (const FmChip& chip : chips) instance += chip.kind == kind;
        index.back() = static_cast<int>(chips.size());
        chips.push_back({kind, instance, clock});
    }
    const bool named = !chips.empty() && (devices != 1 || chips[0].kind != FmChipKind::kYM2203);
    if (chips.empty()) return Fault("uses no OPN, OPN2 or OPNA", false);
    if (data[3] != '3') return Fault("S98 version is not 3", named);
    if (numerator == 0 && denominator == 0) numerator = 10, denominator = 1000;
    if (numerator == 0 || denominator == 0) return Fault("the timer is 0 seconds", named);
    if (dumpAt < in.Position() || dumpAt >= size)
        return Fault("the dump offset points outside the file", named);
    listener.Chips(chips);

    // Time in syncs; in samples it is syncs * numerator * 44100 / denominator.
    __extension__ typedef unsigned __int128 Wide;
    uint64_t syncs = 0;
    const auto mostSyncs =
        static_cast<uint64_t>((Wide{kMaxLogSamples} + 1) * denominator / numerator / kLogRate + 1);
    in.Seek(dumpAt);
    while (in.Ok() && !in.AtEnd()) {
        const std::size_t at = in.Position();
        const uint32_t op = in.U8();
        if (op == 0xFD) return {"", named};
        if (op == 0xFF) {
            ++syncs;
        } else if (op == 0xFE) {
            uint64_t n = 0;
            uint32_t byte = 0;
            for (int shift = 0; shift < 35; shift += 7) {
                byte = in.U8();
                n |= uint64_t{byte & 0x7F} << shift;
                if (!(byte & 0x80)) break;
            }
            if (byte & 0x80)
                return Fault("a wait too long to count at offset " + std::to_string(at), named);
            syncs += n + 2;
        } else if (op < 0x80) {
            const uint32_t address = in.U8();
            const uint32_t value = in.U8();
            const std::size_t device = op / 2;
            if (!in.Ok()) break;
            if (device >= index.size())
                return Fault("writes to device " + std::to_string(device + 1) + " at offset " +
                                 std::to_string(at) + ", which the file does not name",
                             named);
            if (index[device] < 0) continue;
            const auto sample =
                static_cast<int64_t>(Wide{syncs} * numerator * kLogRate / denominator);
            listener.Write({sample, static_cast<uint8_t>(index[device]),
                            static_cast<uint8_t>(op & 1), static_cast<uint8_t>(address),
                            static_cast<uint8_t>(value)});
        } else {
            return Fault(
                "unknown command " + std::to_string(op) + " at offset " + std::to_string(at),
                named);
        }
        if (syncs > mostSyncs) return Fault(TooLong(), named);
    }
    return Fault("the dump is cut short (no end command 0xFD)", named);
}

}  // namespace

std::string ChipName(const FmChip& chip) {
    return std::string(KindName(chip.kind)) + (chip.instance > 0 ? " #2" : "");
}

void ReadChipWrites(const RegisterLog& log, ChipWriteListener& listener) {
    listener.Chips({{FmChipKind::kYM2203, 0, log.clock}});
    int64_t sample = 0;
    for (const LogCommand& c : log.commands) {
        if (c.kind == LogCommand::Kind::kWait) {
            sample += c.samples;
        } else {
            listener.Write({sample, 0, 0, c.address, c.data});
        }
    }
}

ChipWriteReadResult ReadVgmChipWrites(const uint8_t* data, std::size_t size,
                                      ChipWriteListener& listener) {
    return ReadVgm(data, size, listener);
}

ChipWriteReadResult ReadS98ChipWrites(const uint8_t* data, std::size_t size,
                                      ChipWriteListener& listener) {
    return ReadS98(data, size, listener);
}

ChipWriteReadResult ReadChipWrites(const uint8_t* data, std::size_t size,
                                   ChipWriteListener& listener, const Decompressor& decompress) {
    const LogFileFormat* format = LogFileFormatOfBytes(data, size);
    if (format != nullptr && format->compressed) {
        std::vector<uint8_t> inflated;
        std::string fault = "this build reads no " + std::string(format->name) + " files";
        if (!decompress || !decompress(data, size, kMaxLogBytes, inflated, fault, nullptr)) {
            return Fault("cannot decompress: " + fault, false);
        }
        return ReadChipWrites(inflated.data(), inflated.size(), listener);
    }
    if (format == nullptr || format->readChipWrites == nullptr) {
        return Fault("neither a VGM nor an S98 file", false);
    }
    return format->readChipWrites(data, size, listener);
}

}  // namespace reglog
