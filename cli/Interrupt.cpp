#include "Interrupt.h"

#include <csignal>

namespace {

volatile std::sig_atomic_t interrupted = 0;

// The first Ctrl-C asks for a clean stop; the handler then steps aside, so a
// second one ends the program at once should the stop take too long.
extern "C" void OnInterrupt(int) {
    interrupted = 1;
    std::signal(SIGINT, SIG_DFL);
}

}  // namespace

void InstallInterruptHandler() {
    std::signal(SIGINT, OnInterrupt);
}

bool Interrupted() {
    return interrupted != 0;
}
