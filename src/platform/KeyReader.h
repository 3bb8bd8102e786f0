#pragma once
// Single key presses from standard input, for a player's keys (pause, seek,
// quit): a terminal is put in a mode that hands over each key at once,
// without echoing it, and is put back as it was when the reader goes. On
// POSIX systems input that is not a terminal (a pipe, a file) is read as it
// comes, a byte a key, which lets scripts and tests press keys too; on
// Windows only a console's keys are read. Ctrl-C still interrupts.
//
// One reader at a time; not for use from two threads.

#include <cstdint>

namespace platform {

class KeyReader {
  public:
    // Key codes besides plain characters, which are their own byte value.
    enum Key : int32_t {
        kNone = -1,  // nothing pressed in the time given
        kLeft = 0x100,
        kRight,
        kUp,
        kDown,
        kEscape,
    };

    KeyReader();
    ~KeyReader();

    KeyReader(const KeyReader&) = delete;
    KeyReader& operator=(const KeyReader&) = delete;

    // The next key, waiting at most `timeoutMs` for one; kNone when none
    // came. Once the input has ended, every call just waits and gives kNone.
    int32_t Next(int32_t timeoutMs);

  private:
    struct State;
    State* state_;
};

}  // namespace platform
