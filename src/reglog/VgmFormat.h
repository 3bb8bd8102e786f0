#pragma once
// What the VGM format says, shared by the YM2203 log's reader and writer
// (Vgm.cpp) and the reader of other FM chips' writes (ChipWrites.cpp): the
// header's fields, the clock fields of the chips a header can name, and how
// many operand bytes each command has.

#include <cstddef>
#include <cstdint>

namespace reglog::vgm {

constexpr uint32_t kIdent = 0x206D6756;  // "Vgm "

// Header fields: byte offsets.
constexpr std::size_t kEofOffset = 0x04;
constexpr std::size_t kVersionOffset = 0x08;
constexpr std::size_t kGd3Offset = 0x14;
constexpr std::size_t kTotalSamples = 0x18;
constexpr std::size_t kLoopOffset = 0x1C;
constexpr std::size_t kLoopSamples = 0x20;
constexpr std::size_t kDataOffset = 0x34;
constexpr std::size_t kYM2203ClockOffset = 0x44;

// The clock fields of the other chips a VGM 1.71 header can name. Bit 30 of a
// clock marks a second chip of the kind; bit 31 is a flag of some chips.
struct ChipField {
    std::size_t offset;
    const char* name;
};
constexpr ChipField kOtherChips[] = {
    {0x0C, "SN76489"},    {0x10, "YM2413"},  {0x2C, "YM2612"},      {0x30, "YM2151"},
    {0x38, "SegaPCM"},    {0x40, "RF5C68"},  {0x48, "YM2608"},      {0x4C, "YM2610"},
    {0x50, "YM3812"},     {0x54, "YM3526"},  {0x58, "Y8950"},       {0x5C, "YMF262"},
    {0x60, "YMF278B"},    {0x64, "YMF271"},  {0x68, "YMZ280B"},     {0x6C, "RF5C164"},
    {0x70, "PWM"},        {0x74, "AY8910"},  {0x80, "GameBoy DMG"}, {0x84, "NES APU"},
    {0x88, "MultiPCM"},   {0x8C, "uPD7759"}, {0x90, "OKIM6258"},    {0x98, "OKIM6295"},
    {0x9C, "K051649"},    {0xA0, "K054539"}, {0xA4, "HuC6280"},     {0xA8, "C140"},
    {0xAC, "K053260"},    {0xB0, "Pokey"},   {0xB4, "QSound"},      {0xB8, "SCSP"},
    {0xC0, "WonderSwan"}, {0xC4, "VSU"},     {0xC8, "SAA1099"},     {0xCC, "ES5503"},
    {0xD0, "ES5506"},     {0xD8, "X1-010"},  {0xDC, "C352"},        {0xE0, "GA20"},
};
constexpr uint32_t kClockMask = 0x3FFFFFFF;
constexpr uint32_t kSecondChip = 0x40000000;

// Operand bytes of a command that is neither a wait (0x61-0x63, 0x70-0x7F),
// a data block (0x67) nor the end (0x66); -1 for a command the format does
// not define.
constexpr int OperandBytes(uint32_t op) {
    if (op >= 0x30 && op <= 0x3F) return 1;
    if (op >= 0x40 && op <= 0x4E) return 2;
    if (op == 0x4F || op == 0x50) return 1;
    if (op >= 0x51 && op <= 0x5F) return 2;
    if (op == 0x68) return 11;
    if (op >= 0x80 && op <= 0x8F) return 0;
    if (op == 0x90 || op == 0x91 || op == 0x95) return 4;
    if (op == 0x92) return 5;
    if (op == 0x93) return 10;
    if (op == 0x94) return 1;
    if (op >= 0xA0 && op <= 0xBF) return 2;
    if (op >= 0xC0 && op <= 0xDF) return 3;
    if (op >= 0xE0) return 4;
    return -1;
}

}  // namespace reglog::vgm
