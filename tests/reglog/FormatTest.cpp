// The files as other players read them, checked by a reader written here
// from the format descriptions (not the library's): header fields, the
// loop offset, wait encodings and tags of VGM and S98; and the library's
// reader refusing damaged or foreign files with a reason.

#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "reglog/Export.h"
#include "reglog/Gzip.h"
#include "reglog/LogReader.h"
#include "reglog/S98.h"
#include "reglog/Vgm.h"

namespace {

using reglog::LogCommand;
using Bytes = std::vector<uint8_t>;

uint32_t U32(const Bytes& b, std::size_t at) {
    return b.at(at) | b.at(at + 1) << 8 | b.at(at + 2) << 16 | uint32_t{b.at(at + 3)} << 24;
}

void Put32(Bytes& b, std::size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.at(at + i) = static_cast<uint8_t>(v >> (8 * i));
}

// A log with every kind of wait encoding, a loop and tags in two scripts.
reglog::RegisterLog SampleLog() {
    reglog::RegisterLog log;
    log.commands = {LogCommand::Write(0x28, 0xF0), LogCommand::Wait(16),  LogCommand::Wait(735),
                    LogCommand::Write(0x07, 0x38), LogCommand::Wait(882), LogCommand::Wait(1000),
                    LogCommand::Wait(70000)};
    log.loopStart = 3;
    log.tags.title = "Menuett \xE3\x83\x88";     // "Menuett ト"
    log.tags.author = "J. S. \xF0\x9F\x8E\xB5";  // a character beyond 16 bits
    log.tags.date = "2026/11/01";
    log.tags.maker = "velnari 1.0.0";
    log.tags.notes = "line one\nline two";
    return log;
}

// The eleven GD3 strings at `at`, as UTF-16 code units.
std::vector<std::u16string> Gd3Strings(const Bytes& b, std::size_t at) {
    EXPECT_EQ(U32(b, at), 0x20336447u) << "\"Gd3 \"";
    EXPECT_EQ(U32(b, at + 4), 0x100u);
    const std::size_t end = at + 12 + U32(b, at + 8);
    EXPECT_EQ(end, b.size()) << "the tag's length runs to the end of the file";
    std::vector<std::u16string> strings(1);
    for (std::size_t i = at + 12; i + 1 < end; i += 2) {
        const auto unit = static_cast<char16_t>(b[i] | b[i + 1] << 8);
        if (unit == 0) {
            strings.emplace_back();
        } else {
            strings.back() += unit;
        }
    }
    strings.pop_back();
    return strings;
}

TEST(VgmFile, HeaderLoopWaitsAndTagAsThePublishedLayoutSays) {
    const Bytes b = reglog::WriteVgm(SampleLog());
    EXPECT_EQ(U32(b, 0x00), 0x206D6756u) << "\"Vgm \"";
    EXPECT_EQ(U32(b, 0x04), b.size() - 4);
    EXPECT_EQ(U32(b, 0x08), 0x171u);
    EXPECT_EQ(U32(b, 0x18), 16u + 735 + 882 + 1000 + 70000) << "total samples";
    EXPECT_EQ(U32(b, 0x20), 882u + 1000 + 70000) << "loop samples";
    EXPECT_EQ(U32(b, 0x24), 0u) << "rate";
    EXPECT_EQ(U32(b, 0x34), 0xCCu) << "data right after the 256-byte header";
    EXPECT_EQ(U32(b, 0x44), 3993600u) << "YM2203 clock";
    for (std::size_t at = 0x0C; at < 0x100; at += 4) {
        if (at != 0x14 && at != 0x18 && at != 0x1C && at != 0x20 && at != 0x34 && at != 0x44) {
            EXPECT_EQ(U32(b, at), 0u) << "header field " << at;
        }
    }
    const Bytes data = {0x55, 0x28, 0xF0, 0x7F, 0x62, 0x55, 0x07, 0x38, 0x63, 0x61,
                        0xE8, 0x03, 0x61, 0xFF, 0xFF, 0x61, 0x71, 0x11, 0x66};
    EXPECT_EQ(Bytes(b.begin() + 0x100, b.begin() + 0x100 + data.size()), data);
    EXPECT_EQ(0x1C + U32(b, 0x1C), 0x100u + 5)
        << "the loop offset points at the loop's first write";

    const auto strings = Gd3Strings(b, 0x14 + U32(b, 0x14));
    ASSERT_EQ(strings.size(), 11u);
    EXPECT_EQ(strings[0], u"Menuett \u30C8");
    EXPECT_EQ(strings[6], u"J. S. \U0001F3B5");
    EXPECT_EQ(strings[8], u"2026/11/01");
    EXPECT_EQ(strings[9], u"velnari 1.0.0");
    EXPECT_EQ(strings[10], u"line one\nline two");
    for (int unused : {1, 2, 3, 4, 5, 7}) EXPECT_EQ(strings[unused], u"") << unused;

    const reglog::LogReadResult read = reglog::ReadRegisterLog(b.data(), b.size());
    ASSERT_TRUE(read.log) << read.fault;
    EXPECT_EQ(read.log->tags, SampleLog().tags);
}

TEST(S98File, HeaderLoopWaitsAndTagAsThePublishedLayoutSays) {
    const Bytes b = reglog::WriteS98(SampleLog());
    EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "S983");
    EXPECT_EQ(U32(b, 0x04), 1u);
    EXPECT_EQ(U32(b, 0x08), 44100u) << "one sync is one sample";
    EXPECT_EQ(U32(b, 0x0C), 0u);
    EXPECT_EQ(U32(b, 0x14), 0x30u) << "the dump right after one device record";
    EXPECT_EQ(U32(b, 0x1C), 1u);
    EXPECT_EQ(U32(b, 0x20), 2u) << "OPN";
    EXPECT_EQ(U32(b, 0x24), 3993600u);
    EXPECT_EQ(U32(b, 0x28), 0u);
    // Waits: FE n-2 in 7-bit groups, low group first; FF for one sync.
    const Bytes dump = {0x00, 0x28, 0xF0, 0xFE, 14,   0xFE, 0xDD, 0x05, 0x00, 0x07, 0x38,
                        0xFE, 0xF0, 0x06, 0xFE, 0xE6, 0x07, 0xFE, 0xEE, 0xA2, 0x04, 0xFD};
    EXPECT_EQ(Bytes(b.begin() + 0x30, b.begin() + 0x30 + dump.size()), dump);
    EXPECT_EQ(U32(b, 0x18), 0x30u + 8) << "the loop offset points at the loop's first write";

    const std::size_t tagAt = U32(b, 0x10);
    EXPECT_EQ(tagAt, 0x30u + dump.size());
    EXPECT_EQ(std::string(b.begin() + tagAt, b.end()),
              std::string("[S98]\xEF\xBB\xBF") + "title=Menuett \xE3\x83\x88\n" +
                  "artist=J. S. \xF0\x9F\x8E\xB5\n" + "year=2026/11/01\n" +
                  "comment=line one line two\n" + "s98by=velnari 1.0.0\n" + '\0');

    const reglog::LogReadResult read = reglog::ReadRegisterLog(b.data(), b.size());
    ASSERT_TRUE(read.log) << read.fault;
    reglog::LogTags tags = SampleLog().tags;
    tags.notes = "line one line two";
    EXPECT_EQ(read.log->tags, tags);

    // Without the byte-order mark a tag is Shift-JIS, as older tools write it.
    Bytes shiftJis(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(tagAt));
    for (char c : std::string("[S98]title=\x8B\xC8\n")) shiftJis.push_back(static_cast<uint8_t>(c));
    shiftJis.push_back(0);
    const reglog::LogReadResult old = reglog::ReadRegisterLog(shiftJis.data(), shiftJis.size());
    ASSERT_TRUE(old.log) << old.fault;
    EXPECT_EQ(old.log->tags.title, "\xE6\x9B\xB2");  // U+66F2
}

TEST(LogFile, EachFormatKnowsItsOwnFilesByNameAndContentAndNoOther) {
    const auto gzip = [](const std::vector<uint8_t>& bytes) { return reglog::GzipCompress(bytes); };
    const auto formats = reglog::LogFileFormats();
    for (const reglog::LogFileFormat& format : formats) {
        const reglog::LogFile file = reglog::WriteLogFile(SampleLog(), format, gzip);
        ASSERT_EQ(file.fault, "") << format.name;
        for (const reglog::LogFileFormat& other : formats) {
            EXPECT_EQ(other.recognises(file.bytes.data(), file.bytes.size()), &other == &format)
                << other.name << " on a " << format.name << " file";
        }
        std::string upper = std::string("song") + format.extension;
        for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        EXPECT_EQ(reglog::LogFileFormatOfPath("dir.vgm/" + upper), &format);
        const reglog::LogReadResult read =
            reglog::ReadRegisterLog(file.bytes.data(), file.bytes.size());
        ASSERT_TRUE(read.log) << format.name << ": " << read.fault;
        EXPECT_EQ(read.log->TotalSamples(), SampleLog().TotalSamples()) << format.name;
        EXPECT_EQ(read.log->WriteCount(), SampleLog().WriteCount()) << format.name;
        EXPECT_EQ(read.origin.gzipped, format.compressed) << format.name;
    }
    EXPECT_EQ(reglog::LogFileFormatOfPath("dir.vgm/song"), nullptr);
}

TEST(LogFile, WhatTheReaderWouldRefuseIsNotWritten) {
    const reglog::RegisterLog log = SampleLog();
    const std::size_t size = reglog::WriteVgm(log).size();
    const auto gzip = [](const std::vector<uint8_t>& bytes) { return reglog::GzipCompress(bytes); };
    const reglog::LogFileFormat& vgz = *reglog::LogFileFormatNamed("VGZ");
    const reglog::LogFile fits = reglog::WriteLogFile(log, vgz, gzip, size);
    ASSERT_EQ(fits.fault, "");
    EXPECT_TRUE(reglog::ReadRegisterLog(fits.bytes.data(), fits.bytes.size(), size).log);
    const reglog::LogFile over = reglog::WriteLogFile(log, vgz, gzip, size - 1);
    EXPECT_TRUE(over.bytes.empty());
    EXPECT_NE(over.fault.find("would be " + std::to_string(size) + " bytes before compression"),
              std::string::npos)
        << over.fault;
}

TEST(LogReader, RefusesDamagedAndForeignFilesSayingWhy) {
    reglog::RegisterLog small = SampleLog();
    const Bytes vgm = reglog::WriteVgm(small);
    const Bytes s98 = reglog::WriteS98(small);
    // A loop of one sample holding more writes than a second of any song.
    reglog::RegisterLog flood;
    flood.commands.assign(200000, LogCommand::Write(0x40, 0x7F));
    flood.commands.push_back(LogCommand::Wait(1));
    flood.loopStart = 0;
    const Bytes floodVgm = reglog::WriteVgm(flood);
    const Bytes floodS98 = reglog::WriteS98(flood);
    const std::size_t gd3At = 0x14 + U32(vgm, 0x14);
    const reglog::LogReadResult intact = reglog::ReadRegisterLog(vgm.data(), vgm.size());
    struct Case {
        const char* name;
        const Bytes& base;
        std::function<void(Bytes&)> damage;
        const char* fault;   // a part of the message
        bool plays = false;  // the music is intact: read, with `fault` as a warning
    };
    const Case cases[] = {
        {"vgm cut short", vgm, [](Bytes& b) { b.erase(b.end() - 40, b.end()); }, "cut short"},
        {"vgm without its end", vgm,
         [](Bytes& b) {
             b.erase(b.begin() + 0x100 + 18, b.end());
             Put32(b, 0x04, static_cast<uint32_t>(b.size() - 4));
             Put32(b, 0x14, 0);
         },
         "no end-of-data"},
        {"another chip", vgm, [](Bytes& b) { Put32(b, 0x2C, 7670453); }, "YM2612"},
        {"two YM2203", vgm, [](Bytes& b) { Put32(b, 0x44, 0x40000000 | 3993600); }, "two YM2203"},
        {"no YM2203", vgm, [](Bytes& b) { Put32(b, 0x44, 0); }, "no YM2203"},
        {"loop inside a command", vgm, [](Bytes& b) { Put32(b, 0x1C, 0x100 + 6 - 0x1C); },
         "does not point at a command"},
        {"foreign command", vgm, [](Bytes& b) { b[0x100] = 0x52; }, "YM2612 write"},
        {"loop without waits", vgm, [](Bytes& b) { Put32(b, 0x1C, 0x100 + 18 - 0x1C); },
         "the loop holds no waits, so it would never end; the log plays once", true},
        {"loop offset far out", vgm, [](Bytes& b) { Put32(b, 0x1C, 0xFFFFFFFF); },
         "the loop offset 0xFFFFFFFF points past the end"},
        {"gd3 with 7 strings", vgm,
         [&](Bytes& b) {
             std::size_t at = gd3At + 12;
             for (int strings = 0; strings < 7; at += 2) strings += b[at] == 0 && b[at + 1] == 0;
             b.resize(at);
             Put32(b, gd3At + 8, static_cast<uint32_t>(at - gd3At - 12));
             Put32(b, 0x04, static_cast<uint32_t>(b.size() - 4));
         },
         "the GD3 tag holds 7 of its 11 strings", true},
        {"bytes after the gzip stream", vgm,
         [](Bytes& b) {
             b = reglog::GzipCompress(b);
             b.insert(b.end(), 512, 0);
         },
         "512 bytes after the compressed data, ignored", true},
        {"vgm write flood", floodVgm, [](Bytes&) {},
         "asks for 8820000000 register writes in one second of output"},
        {"s98 write flood", floodS98, [](Bytes&) {},
         "second of output from offset 48, more than any song makes (7874497024)"},
        {"s98 device count", s98, [](Bytes& b) { Put32(b, 0x1C, 0xFFFFFFFF); },
         "the device list is cut short: the header names 4294967295 devices"},
        {"s98 version 1", s98, [](Bytes& b) { b[3] = '1'; }, "version '1'"},
        {"s98 OPNA", s98, [](Bytes& b) { Put32(b, 0x20, 4); }, "OPNA (YM2608)"},
        {"s98 no device", s98, [](Bytes& b) { Put32(b, 0x1C, 0); }, "names no device"},
        {"s98 second device", s98, [](Bytes& b) { b[0x30] = 0x02; }, "device 2"},
        {"s98 cut short", s98, [](Bytes& b) { b.erase(b.begin() + 0x30 + 10, b.end()); },
         "cut short"},
        {"damaged gzip", vgm,
         [](Bytes& b) {
             b = reglog::GzipCompress(b);
             b[b.size() / 2] ^= 0xFF;
         },
         "cannot decompress"},
        {"something else", vgm, [](Bytes& b) { b[0] = 'X'; }, "neither"},
    };
    for (const Case& c : cases) {
        Bytes bytes = c.base;
        c.damage(bytes);
        const reglog::LogReadResult read = reglog::ReadRegisterLog(bytes.data(), bytes.size());
        EXPECT_EQ(read.log.has_value(), c.plays) << c.name << ": " << read.fault;
        const std::string said =
            c.plays && read.warnings.size() == 1 ? read.warnings[0] : read.fault;
        EXPECT_NE(said.find(c.fault), std::string::npos) << c.name << ": " << said;
        if (c.plays && read.log) {
            EXPECT_EQ(read.log->commands, intact.log->commands) << c.name;
        }
    }
}

}  // namespace
