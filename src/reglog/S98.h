#pragma once
// S98, version 3, for one YM2203 (device type OPN): the register-log format
// of the Japanese personal-computer music scene.
//
// Layout written: the 0x20-byte header with one device record (OPN at the
// log's clock), a timer of 1/44100 s so that one sync is one sample, the dump
// (0x00 writes, 0xFF and 0xFE waits, 0xFD end) from offset 0x30, then the
// "[S98]" tag in UTF-8 with its byte-order mark.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "reglog/RegisterLog.h"

namespace reglog {

// The file's bytes. Waits of 0 samples are left out (S98 cannot say them).
// `poll`, when set, is called every few thousand commands; it may throw to
// stop.
std::vector<uint8_t> WriteS98(const RegisterLog& log, const std::function<void()>& poll = {});

// Reads an S98 file of version 3 with one OPN device. Other versions, other
// or more devices, writes to other devices, a loop offset that does not point
// at a command, a loop without waits or a file cut short is a fault naming
// what is wrong. Waits are converted from the file's timer to samples of
// 1/44100 s, exactly for a timer of 1/44100 s, and rounded down (carrying the
// remainder) for others.
LogReadResult ReadS98(const uint8_t* data, std::size_t size);

}  // namespace reglog
