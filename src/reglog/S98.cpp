// Deliberate choices:
// - Only version 3 is read: older versions name no devices (they mean an
//   OPNA), and version 3 with no device record means one too.
// - A tag without the UTF-8 byte-order mark is Shift-JIS by the format's
//   rule; it is taken as it is when it happens to be valid UTF-8 (ASCII
//   always is), else decoded from Shift-JIS; where neither works (or a tag
//   that claims UTF-8 is not), its non-ASCII bytes are shown as '?'.
// - A single wait longer than kLongestWait is a fault, so no wait overflows,
//   and so is a log longer than kMaxLogSamples in all.
// - A line break in a tag value would end the line, so the writer turns it
//   into a space.
// - A loop that holds no waits would never end: the log plays once, with a
//   warning. A log that asks for more writes in a second than any song can
//   make is a fault (WriteRate.h), named by the offset where that second
//   starts.
// - The device list must fit before the dump; a count beyond that says the
//   list is cut short rather than reading devices out of the dump.
#include "reglog/S98.h"

#include <array>
#include <string>

#include "platform/TextEncoding.h"
#include "reglog/Bytes.h"
#include "reglog/WriteRate.h"
#include "text/Decode.h"

namespace reglog {

namespace {

// Commands written between two polls of the caller: a few milliseconds.
constexpr std::size_t kCommandsPerPoll = std::size_t{1} << 16;

constexpr std::size_t kHeaderSize = 0x20;
constexpr std::size_t kDeviceSize = 16;
constexpr uint32_t kDeviceOPN = 2;
constexpr int64_t kLongestWait = int64_t{24} * 3600 * kLogRate;  // samples
constexpr char kTagStart[] = "[S98]";
constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";

const char* DeviceName(uint32_t type) {
    switch (type) {
        case 1:
            return "PSG (YM2149)";
        case 2:
            return "OPN (YM2203)";
        case 3:
            return "OPN2 (YM2612)";
        case 4:
            return "OPNA (YM2608)";
        case 5:
            return "OPM (YM2151)";
        case 6:
            return "OPLL (YM2413)";
        case 7:
            return "OPL (YM3526)";
        case 8:
            return "OPL2 (YM3812)";
        case 9:
            return "OPL3 (YMF262)";
        case 15:
            return "PSG (AY-3-8910)";
        case 16:
            return "DCSG (SN76489)";
        default:
            return nullptr;
    }
}

std::string DeviceText(uint32_t type) {
    const char* name = DeviceName(type);
    return name ? name : "unknown device type " + std::to_string(type);
}

LogReadResult Fault(std::string text) {
    LogReadResult result;
    result.fault = std::move(text);
    return result;
}

void WriteSyncs(ByteWriter& out, uint32_t syncs) {
    if (syncs == 0) return;
    if (syncs == 1) {
        out.U8(0xFF);
        return;
    }
    out.U8(0xFE);
    uint32_t n = syncs - 2;
    while (n >= 0x80) {
        out.U8(0x80 | (n & 0x7F));
        n >>= 7;
    }
    out.U8(n);
}

std::string OneLine(const std::string& value) {
    std::string line = value;
    for (char& c : line) {
        if (c == '\n' || c == '\r') c = ' ';
    }
    return line;
}

void WriteTag(ByteWriter& out, const LogTags& tags) {
    out.Text(kTagStart);
    out.Text(kByteOrderMark);
    const std::pair<const char*, const std::string*> fields[] = {
        {"title", &tags.title},   {"artist", &tags.author}, {"game", &tags.game},
        {"system", &tags.system}, {"year", &tags.date},     {"comment", &tags.notes},
        {"s98by", &tags.maker},
    };
    for (const auto& [key, value] : fields) {
        if (value->empty()) continue;
        out.Text(key);
        out.U8('=');
        out.Text(OneLine(*value));
        out.U8(0x0A);
    }
    out.U8(0);
}

void ReadTag(const uint8_t* data, std::size_t size, std::size_t at, LogTags& tags) {
    std::string text(reinterpret_cast<const char*>(data) + at, size - at);
    text = text.substr(0, text.find('\0'));
    text.erase(0, sizeof kTagStart - 1);
    if (text.compare(0, 3, kByteOrderMark) == 0) text.erase(0, 3);
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        const std::size_t equals = line.find('=');
        if (equals == std::string::npos) continue;
        const std::string key = line.substr(0, equals);
        std::string value = line.substr(equals + 1);
        // As UTF-8 when it is; else from Shift-JIS; else with '?' outside ASCII.
        value = text::ToUtf8(value, platform::ShiftJisToUtf8, text::Undecodable::kQuestionMark);
        if (key == "title")
            tags.title = value;
        else if (key == "artist")
            tags.author = value;
        else if (key == "game")
            tags.game = value;
        else if (key == "system")
            tags.system = value;
        else if (key == "year")
            tags.date = value;
        else if (key == "comment")
            tags.notes = value;
        else if (key == "s98by")
            tags.maker = value;
    }
}

}  // namespace

std::vector<uint8_t> WriteS98(const RegisterLog& log, const std::function<void()>& poll) {
    ByteWriter out;
    out.Text("S983");
    out.U32(1);         // timer numerator
    out.U32(kLogRate);  // timer denominator: one sync is one sample
    out.U32(0);         // no compression
    out.U32(0);         // tag offset, patched below
    out.U32(static_cast<uint32_t>(kHeaderSize + kDeviceSize));
    out.U32(0);  // loop offset, patched below
    out.U32(1);  // devices
    out.U32(kDeviceOPN);
    out.U32(log.clock);
    out.U32(0);  // pan
    out.U32(0);
    std::size_t loopAt = 0;
    for (std::size_t i = 0; i < log.commands.size(); ++i) {
        if (poll && i % kCommandsPerPoll == 0) poll();
        if (log.loopStart == i) loopAt = out.Size();
        const LogCommand& c = log.commands[i];
        if (c.kind == LogCommand::Kind::kWrite) {
            out.U8(0x00);
            out.U8(c.address);
            out.U8(c.data);
        } else {
            WriteSyncs(out, c.samples);
        }
    }
    if (log.loopStart && *log.loopStart >= log.commands.size()) loopAt = out.Size();
    out.U8(0xFD);
    out.PatchU32(0x10, static_cast<uint32_t>(out.Size()));
    if (log.loopStart) out.PatchU32(0x18, static_cast<uint32_t>(loopAt));
    WriteTag(out, log.tags);
    return out.Take();
}

LogReadResult ReadS98(const uint8_t* data, std::size_t size) {
    if (size < 4 || data[0] != 'S' || data[1] != '9' || data[2] != '8') {
        return Fault("not an S98 file (no \"S98\" at the start)");
    }
    if (data[3] != '3') {
        return Fault(std::string("S98 version '") + static_cast<char>(data[3]) +
                     "' is not read; velnari reads version 3");
    }
    ByteReader in(data, size);
    in.Seek(4);
    uint32_t numerator = in.U32();
    uint32_t denominator = in.U32();
    const uint32_t compression = in.U32();
    const uint32_t tagAt = in.U32();
    const uint32_t dumpAt = in.U32();
    const uint32_t loopAt = in.U32();
    const uint32_t devices = in.U32();
    if (!in.Ok()) return Fault("the S98 header is cut short");
    if (numerator == 0 && denominator == 0) numerator = 10, denominator = 1000;
    if (numerator == 0 || denominator == 0) return Fault("the timer is 0 seconds or undefined");
    if (compression != 0) return Fault("the dump is compressed, which S98 players do not do");
    if (devices == 0)
        return Fault("names no device, which means an OPNA (YM2608); velnari plays a YM2203");
    const std::size_t listEnd = dumpAt > kHeaderSize && dumpAt < size ? dumpAt : size;
    const std::size_t room = (listEnd - kHeaderSize) / kDeviceSize;
    if (devices > room) {
        return Fault("the device list is cut short: the header names " + std::to_string(devices) +
                     " device" + (devices == 1 ? "" : "s") + ", the file holds " +
                     std::to_string(room) + " before the dump");
    }
    std::string kinds;
    uint32_t firstType = 0;
    uint32_t clock = 0;
    for (uint32_t d = 0; d < devices && d < 64; ++d) {
        const uint32_t type = in.U32();
        const uint32_t deviceClock = in.U32();
        in.Skip(8);  // pan, reserved
        if (!in.Ok()) return Fault("the device list is cut short");
        kinds += (kinds.empty() ? "" : ", ") + DeviceText(type);
        if (d == 0) firstType = type, clock = deviceClock;
    }
    if (devices != 1 || firstType != kDeviceOPN) {
        return Fault("uses " + std::to_string(devices) + " device" + (devices == 1 ? "" : "s") +
                     " (" + kinds + (devices > 64 ? ", ..." : "") +
                     "); velnari plays one OPN (YM2203)");
    }
    if (clock < kMinClock || clock > kMaxClock) {
        return Fault("YM2203 clock " + std::to_string(clock) + " Hz is outside " +
                     std::to_string(kMinClock) + "-" + std::to_string(kMaxClock) + " Hz");
    }
    if (dumpAt < in.Position() || dumpAt >= size)
        return Fault("the dump offset points outside the file");

    LogReadResult result;
    RegisterLog& log = result.log.emplace();
    log.clock = clock;
    result.origin.format = "S98 3";
    result.origin.dataBytes = size;
    result.origin.timer = std::to_string(numerator) + "/" + std::to_string(denominator) + " s";

    __extension__ typedef unsigned __int128 Wide;
    Wide remainder = 0;  // of samples, in 1/denominator units
    int64_t total = 0;
    auto addSyncs = [&](uint64_t syncs) {
        const Wide scaled = remainder + Wide{syncs} * numerator * kLogRate;
        const Wide samples = scaled / denominator;
        if (samples > static_cast<Wide>(kLongestWait)) return false;
        total += static_cast<int64_t>(samples);
        if (total > kMaxLogSamples) return false;
        remainder = scaled % denominator;
        log.commands.push_back(LogCommand::Wait(static_cast<uint32_t>(samples)));
        return true;
    };

    in.Seek(dumpAt);
    std::vector<uint32_t> offsets;  // of each command, for the write-rate fault
    bool ended = false;
    while (!in.AtEnd()) {
        const std::size_t at = in.Position();
        if (loopAt != 0 && at == loopAt) log.loopStart = log.commands.size();
        const uint32_t op = in.U8();
        if (op == 0xFD) {
            ended = true;
            break;
        }
        if (op == 0x00) {
            const uint32_t address = in.U8();
            const uint32_t value = in.U8();
            log.commands.push_back(
                LogCommand::Write(static_cast<uint8_t>(address), static_cast<uint8_t>(value)));
        } else if (op == 0xFF) {
            if (!addSyncs(1))
                return Fault("longer than " + std::to_string(kMaxLogSamples) + " samples");
        } else if (op == 0xFE) {
            uint64_t n = 0;
            int shift = 0;
            uint32_t byte = 0;
            do {
                byte = in.U8();
                n |= uint64_t{byte & 0x7F} << shift;
                shift += 7;
            } while ((byte & 0x80) && shift < 35 && in.Ok());
            if (!in.Ok()) break;
            if (byte & 0x80)
                return Fault("a wait too long to count at offset " + std::to_string(at));
            if (!addSyncs(n + 2)) {
                return Fault("a wait longer than a day, or a log longer than " +
                             std::to_string(kMaxLogSamples) + " samples, at offset " +
                             std::to_string(at));
            }
        } else if (op == 0x01) {
            return Fault("writes to a second register bank at offset " + std::to_string(at) +
                         ", which a YM2203 lacks");
        } else if (op < 0x80) {
            return Fault("writes to device " + std::to_string(op / 2 + 1) + " at offset " +
                         std::to_string(at) + ", but the file names one");
        } else {
            return Fault("unknown command " + std::to_string(op) + " at offset " +
                         std::to_string(at));
        }
        offsets.resize(log.commands.size(), static_cast<uint32_t>(at));
        if (!in.Ok()) break;
    }
    if (!in.Ok() || !ended) return Fault("the dump is cut short (no end command 0xFD)");
    if (loopAt != 0 && !log.loopStart) {
        return Fault("the loop offset " + std::to_string(loopAt) + " does not point at a command");
    }
    if (log.loopStart && log.LoopSamples() == 0) {
        result.warnings.push_back(kLoopWithoutWaits);
        log.loopStart.reset();
    }
    if (const auto flood = FindWriteFlood(log)) {
        return Fault(FloodText(*flood, "offset " + std::to_string(offsets[flood->command])));
    }
    if (tagAt != 0) {
        if (tagAt >= size || size - tagAt < sizeof kTagStart - 1 ||
            std::string(reinterpret_cast<const char*>(data) + tagAt, sizeof kTagStart - 1) !=
                kTagStart) {
            return Fault("the tag offset does not point at an \"[S98]\" tag");
        }
        ReadTag(data, size, tagAt, log.tags);
    }
    return result;
}

}  // namespace reglog
