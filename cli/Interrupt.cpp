#include "Interrupt.h"

#include <csignal>

namespace cli {

namespace {

volatile std::sig_atomic_t interrupted = 0;

// Every Ctrl-C only raises the flag: stopping takes at most one block of
// rendering, and a second signal arriving meanwhile (a shell or a tool like
// timeout may deliver one to the process and one to its group) must not cut
// the clean-up short.
extern "C" void OnInterrupt(int) {
    interrupted = 1;
}

}  // namespace

void InstallInterruptHandler() {
    std::signal(SIGINT, OnInterrupt);
}

bool Interrupted() {
    return interrupted != 0;
}

}  // namespace cli
