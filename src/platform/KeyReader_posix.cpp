#include "platform/KeyReader.h"

#include <sys/select.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

namespace platform {

namespace {

// Waits up to `timeoutMs` for standard input to have bytes (or end).
bool InputReady(int32_t timeoutMs) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(STDIN_FILENO, &readable);
    timeval timeout{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    return ::select(STDIN_FILENO + 1, &readable, nullptr, nullptr, &timeout) > 0;
}

// The time an escape sequence may take to arrive after its ESC byte.
constexpr int32_t kSequenceMs = 30;

}  // namespace

struct KeyReader::State {
    bool terminal = false;
    bool ended = false;
    termios saved{};
};

KeyReader::KeyReader() : state_(new State) {
    if (::isatty(STDIN_FILENO) == 1 && ::tcgetattr(STDIN_FILENO, &state_->saved) == 0) {
        termios keys = state_->saved;
        keys.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
        keys.c_cc[VMIN] = 1;
        keys.c_cc[VTIME] = 0;
        state_->terminal = ::tcsetattr(STDIN_FILENO, TCSANOW, &keys) == 0;
    }
}

KeyReader::~KeyReader() {
    if (state_->terminal) ::tcsetattr(STDIN_FILENO, TCSANOW, &state_->saved);
    delete state_;
}

int32_t KeyReader::Next(int32_t timeoutMs) {
    if (state_->ended) {
        std::this_thread::sleep_for(std::chrono::milliseconds(timeoutMs));
        return kNone;
    }
    auto readByte = [this](int32_t waitMs) -> int32_t {
        if (!InputReady(waitMs)) return kNone;
        unsigned char byte = 0;
        ssize_t n = 0;
        do {
            n = ::read(STDIN_FILENO, &byte, 1);
        } while (n < 0 && errno == EINTR);
        if (n <= 0) {
            state_->ended = true;
            return kNone;
        }
        return byte;
    };
    const int32_t first = readByte(timeoutMs);
    if (first != 0x1B) return first;
    // ESC [ C or ESC O C and so on: the cursor keys of common terminals.
    const int32_t second = readByte(kSequenceMs);
    if (second != '[' && second != 'O') return kEscape;
    switch (readByte(kSequenceMs)) {
        case 'A':
            return kUp;
        case 'B':
            return kDown;
        case 'C':
            return kRight;
        case 'D':
            return kLeft;
        default:
            return kEscape;
    }
}

}  // namespace platform
