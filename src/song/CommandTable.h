#pragma once
// The command vocabulary of a compiled song: the code of every command the
// sequencer reads, and the one table that says which letter of a part line
// compiles to which code, with how many arguments and which values it plays
// as written. The compiler reads the table to build commands, the
// interpreter to keep values in range, the warnings pass to say which values
// are out of range and how they play; the interpreter switches on the codes.

#include <array>
#include <cstdint>
#include <string_view>

namespace song {

// Codes of the commands a compiled song holds. The control commands keep the
// upper-case letter they are written with.
namespace code {
inline constexpr char kLoopOpen = '{';   // arg[0] pass count, 0 or less = endless
inline constexpr char kLoopClose = '}';  // closes the innermost "{"
inline constexpr char kReturn = '%';     // ends a macro's list
inline constexpr char kCall = '$';       // text = the macro's name
inline constexpr char kNote = '#';       // arg[0] semitone above C (-1..12), arg[1] ticks or 0
inline constexpr char kTie = '&';
inline constexpr char kTempo = 'T';  // compiled into the song's tempo, never into a list
inline constexpr char kRest = 'R';
inline constexpr char kWait = 'W';
inline constexpr char kLength = 'L';
inline constexpr char kOctave = 'O';
inline constexpr char kOctaveDown = '<';
inline constexpr char kOctaveUp = '>';
inline constexpr char kVolume = 'V';
inline constexpr char kVoice = '@';
inline constexpr char kGate = 'Q';
inline constexpr char kDetune = 'N';
inline constexpr char kPortamento = 'P';
inline constexpr char kTremolo = 'U';
inline constexpr char kVibrato = 'I';
inline constexpr char kEnvelopeShape = 'S';
inline constexpr char kEnvelopePeriod = 'M';
inline constexpr char kRegister = 'Y';
inline constexpr char kLoopBreak = ':';    // the last pass of the innermost loop leaves here
inline constexpr char kTranspose = '_';    // arg[0] semitones added to every note from here on
inline constexpr char kTransposeBy = '^';  // written "__": arg[0] semitones added to the above
inline constexpr char kVolumeUp = ')';     // arg[0] volume steps up
inline constexpr char kVolumeDown = '(';   // arg[0] volume steps down
}  // namespace code

// What becomes of a value outside a command's range.
enum class OutOfRange : uint8_t {
    kPlays,    // no range: every value plays as written
    kClamped,  // it plays as the nearer end of the range
    kLowBits,  // only its low bits count (the range is 0 to 2^n - 1)
    kIgnored,  // the command does nothing
};

// The values a command plays as written.
struct ValueRange {
    int32_t lowest = 0;
    int32_t highest = 0;
    OutOfRange outside = OutOfRange::kPlays;

    constexpr bool Holds(int32_t v) const {
        return outside == OutOfRange::kPlays || (v >= lowest && v <= highest);
    }
    // What `v` plays as (kIgnored: `v` itself, which the command does not use).
    constexpr int32_t Fit(int32_t v) const {
        switch (outside) {
            case OutOfRange::kClamped:
                return v < lowest ? lowest : v > highest ? highest : v;
            case OutOfRange::kLowBits:
                return v & highest;
            default:
                return v;
        }
    }
};

inline constexpr ValueRange kAnyValue{};
inline constexpr ValueRange kOctaves{0, 8, OutOfRange::kClamped};  // what '<' and '>' step through
inline constexpr ValueRange kOctaveSet{1, 8, OutOfRange::kClamped};  // what 'o' sets
inline constexpr ValueRange kVolumes{0, 15, OutOfRange::kClamped};
inline constexpr ValueRange kEnvelopeShapes{0, 15, OutOfRange::kLowBits};
inline constexpr ValueRange kEnvelopePeriods{0, 0xFFFF, OutOfRange::kLowBits};
inline constexpr ValueRange kRegisters{0, 255, OutOfRange::kIgnored};
inline constexpr ValueRange kRegisterData{0, 255, OutOfRange::kLowBits};
inline constexpr ValueRange kNonNegative{0, 2147483647, OutOfRange::kClamped};  // ticks
inline constexpr ValueRange kTranspositions{-96, 96, OutOfRange::kClamped};     // semitones

// One control command of a part line.
struct ControlCommand {
    char letter;          // as written, letters upper case
    char code;            // what it compiles to
    bool lengthArgument;  // the first argument is a note length, converted to ticks
    uint8_t least;        // arguments it takes: any other count compiles to nothing
    uint8_t most;         // at most 3, the argument slots of a command
    std::string_view meaning;
    // Each argument's range ('<' and '>': the octave they step through).
    std::array<ValueRange, 3> ranges{};
};

// clang-format off
inline constexpr std::array<ControlCommand, 25> kControlCommands = {{
    {'&', code::kTie, false, 0, 0, "tie"},
    {'T', code::kTempo, false, 1, 1, "tempo"},
    {'R', code::kRest, true, 0, 1, "rest"},
    {'W', code::kWait, true, 0, 1, "wait"},
    {'L', code::kLength, true, 1, 1, "default length"},
    {'O', code::kOctave, false, 1, 1, "octave", {kOctaveSet}},
    {'<', code::kOctaveDown, false, 0, 0, "octave down", {kOctaves}},
    {'>', code::kOctaveUp, false, 0, 0, "octave up", {kOctaves}},
    {'V', code::kVolume, false, 1, 1, "volume", {kVolumes}},
    {'@', code::kVoice, false, 1, 1, "voice or envelope"},
    {'Q', code::kGate, false, 1, 1, "gate"},
    {'N', code::kDetune, false, 1, 1, "detune"},
    {'P', code::kPortamento, false, 1, 1, "portamento", {kNonNegative}},
    {'U', code::kTremolo, false, 1, 3, "tremolo", {kAnyValue, kNonNegative, kNonNegative}},
    {'I', code::kVibrato, false, 1, 3, "vibrato", {kAnyValue, kNonNegative, kNonNegative}},
    {'S', code::kEnvelopeShape, false, 1, 1, "hardware envelope shape", {kEnvelopeShapes}},
    {'M', code::kEnvelopePeriod, false, 1, 1, "hardware envelope period", {kEnvelopePeriods}},
    {'Y', code::kRegister, false, 2, 2, "register write", {kRegisters, kRegisterData}},
    {'{', code::kLoopOpen, false, 0, 1, "loop start"},
    {'}', code::kLoopClose, false, 0, 0, "loop end"},
    {':', code::kLoopBreak, false, 0, 0, "loop break"},
    {'_', code::kTranspose, false, 1, 1, "transposition", {kTranspositions}},
    {'^', code::kTransposeBy, false, 1, 1, "transposition step"},
    {')', code::kVolumeUp, false, 0, 1, "volume up", {kNonNegative}},
    {'(', code::kVolumeDown, false, 0, 1, "volume down", {kNonNegative}},
}};
// clang-format on

// The row of an upper-case control letter; null for a letter without one.
constexpr const ControlCommand* FindControl(char letter) {
    for (const ControlCommand& row : kControlCommands) {
        if (row.letter == letter) return &row;
    }
    return nullptr;
}

// The range of argument `i` (0-2) of a control command's code (kAnyValue for
// a code without a row); a constant where the code is one.
constexpr ValueRange RangeOf(char code, std::size_t i = 0) {
    for (const ControlCommand& row : kControlCommands) {
        if (row.code == code) return row.ranges[i];
    }
    return kAnyValue;
}

}  // namespace song
