#include "platform/KeyReader.h"

#include <conio.h>
#include <io.h>
#include <stdio.h>
#include <windows.h>

namespace platform {

// The console hands keys over one at a time already. Input that is not a
// console is not read here: a pipe's read cannot be given a time limit.
struct KeyReader::State {
    bool console = false;
};

KeyReader::KeyReader() : state_(new State) {
    state_->console = _isatty(_fileno(stdin)) != 0;
}

KeyReader::~KeyReader() {
    delete state_;
}

int32_t KeyReader::Next(int32_t timeoutMs) {
    if (!state_->console) {
        Sleep(static_cast<DWORD>(timeoutMs));
        return kNone;
    }
    const ULONGLONG until = GetTickCount64() + static_cast<ULONGLONG>(timeoutMs);
    while (!_kbhit()) {
        if (GetTickCount64() >= until) return kNone;
        Sleep(10);
    }
    const int c = _getch();
    // Cursor keys come as a prefix byte and a scan code.
    if (c != 0 && c != 0xE0) return c == 0x1B ? kEscape : c;
    switch (_getch()) {
        case 72:
            return kUp;
        case 80:
            return kDown;
        case 77:
            return kRight;
        case 75:
            return kLeft;
        default:
            return kNone;
    }
}

}  // namespace platform
