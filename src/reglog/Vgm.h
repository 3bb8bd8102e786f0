#pragma once
// VGM, version 1.71, for one YM2203: the register-log format that chiptune
// players, archives and hardware players read. A .vgz file is the same bytes
// compressed with gzip (Gzip.h).
//
// Layout written: a 256-byte header (the log's clock, song::kChipClock
// unless it names another; no rate scaling), the commands from offset 0x100
// (0x55 writes; a wait is one command, 0x70-0x7F, 0x62, 0x63 or 0x61, so a
// log's cuts survive), 0x66, then a GD3 tag in UTF-16LE.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "reglog/RegisterLog.h"

namespace reglog {

// The file's bytes. Waits longer than 65535 samples become several commands.
// `poll`, when set, is called every few thousand commands; it may throw to
// stop.
std::vector<uint8_t> WriteVgm(const RegisterLog& log, const std::function<void()>& poll = {});

// Reads an uncompressed VGM file of one YM2203. Another chip, a second
// YM2203, a command for another chip, a loop offset that does not point at a
// command, a loop without waits or a file cut short is a fault naming what is
// wrong. Data blocks (0x67) are skipped.
LogReadResult ReadVgm(const uint8_t* data, std::size_t size);

}  // namespace reglog
