#pragma once
// The command vocabulary of a compiled song: the code of every command the
// sequencer reads, and the one table that says which letter of a part line
// compiles to which code with how many arguments. The compiler reads the
// table to build commands; the interpreter switches on the same codes.

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
}  // namespace code

// One control command of a part line.
struct ControlCommand {
    char letter;          // as written, letters upper case
    char code;            // what it compiles to
    bool lengthArgument;  // the first argument is a note length, converted to ticks
    uint8_t least;        // arguments it takes: any other count compiles to nothing
    uint8_t most;         // at most 3, the argument slots of a command
    std::string_view meaning;
};

inline constexpr std::array<ControlCommand, 20> kControlCommands = {{
    {'&', code::kTie, false, 0, 0, "tie"},
    {'T', code::kTempo, false, 1, 1, "tempo"},
    {'R', code::kRest, true, 0, 1, "rest"},
    {'W', code::kWait, true, 0, 1, "wait"},
    {'L', code::kLength, true, 1, 1, "default length"},
    {'O', code::kOctave, false, 1, 1, "octave"},
    {'<', code::kOctaveDown, false, 0, 0, "octave down"},
    {'>', code::kOctaveUp, false, 0, 0, "octave up"},
    {'V', code::kVolume, false, 1, 1, "volume"},
    {'@', code::kVoice, false, 1, 1, "voice or envelope"},
    {'Q', code::kGate, false, 1, 1, "gate"},
    {'N', code::kDetune, false, 1, 1, "detune"},
    {'P', code::kPortamento, false, 1, 1, "portamento"},
    {'U', code::kTremolo, false, 1, 3, "tremolo"},
    {'I', code::kVibrato, false, 1, 3, "vibrato"},
    {'S', code::kEnvelopeShape, false, 1, 1, "hardware envelope shape"},
    {'M', code::kEnvelopePeriod, false, 1, 1, "hardware envelope period"},
    {'Y', code::kRegister, false, 2, 2, "register write"},
    {'{', code::kLoopOpen, false, 0, 1, "loop start"},
    {'}', code::kLoopClose, false, 0, 0, "loop end"},
}};

// The row of an upper-case control letter; null for a letter without one.
constexpr const ControlCommand* FindControl(char letter) {
    for (const ControlCommand& row : kControlCommands) {
        if (row.letter == letter) return &row;
    }
    return nullptr;
}

}  // namespace song
