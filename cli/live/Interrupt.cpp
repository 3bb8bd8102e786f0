#include "live/Interrupt.h"

#include <csignal>
#include <string>

// Deliberate choices:
// - Every signal whose default action ends the process, and that can be
//   caught, is treated like Ctrl-C: a render stopped by `kill` or `timeout`
//   (SIGTERM) or by a closed terminal (SIGHUP) must not leave its temporary
//   file behind. The names outside standard C are used where the system has
//   them. SIGPIPE is left alone: it only ends a raw render into a closed pipe,
//   which has no temporary file.
// - The exit status follows the first signal, 128 + its number, as a shell
//   reports a process that the signal ended.
// - SIGXFSZ (a write past the file-size limit, ulimit -f) is ignored, so that
//   write fails with EFBIG and is reported like a full disk, the temporary
//   file removed, instead of ending the process silently.

namespace cli {

namespace {

volatile std::sig_atomic_t caught = 0;  // the first signal's number, 0 before one

constexpr int kTerminatingSignals[] = {
    SIGINT,    SIGTERM,
#ifdef SIGHUP
    SIGHUP,
#endif
#ifdef SIGQUIT
    SIGQUIT,
#endif
#ifdef SIGALRM
    SIGALRM,
#endif
#ifdef SIGUSR1
    SIGUSR1,
#endif
#ifdef SIGUSR2
    SIGUSR2,
#endif
#ifdef SIGXCPU
    SIGXCPU,
#endif
#ifdef SIGVTALRM
    SIGVTALRM,
#endif
#ifdef SIGPROF
    SIGPROF,
#endif
};

// Only raises the flag: stopping takes at most one block of rendering, and a
// second signal arriving meanwhile (a shell or a tool like timeout may deliver
// one to the process and one to its group) must not cut the clean-up short.
extern "C" void OnTerminatingSignal(int signal) {
    if (caught == 0) caught = signal;
}

}  // namespace

void InstallInterruptHandler() {
    for (const int signal : kTerminatingSignals) std::signal(signal, OnTerminatingSignal);
#ifdef SIGXFSZ
    std::signal(SIGXFSZ, SIG_IGN);
#endif
}

bool Interrupted() {
    return caught != 0;
}

int InterruptedStatus() {
    return 128 + static_cast<int>(caught);
}

const char* InterruptedBy() {
    switch (caught) {
        case SIGINT:
            return "Ctrl-C";
        case SIGTERM:
            return "SIGTERM";
#ifdef SIGHUP
        case SIGHUP:
            return "SIGHUP";
#endif
#ifdef SIGQUIT
        case SIGQUIT:
            return "SIGQUIT";
#endif
        default:
            return "a signal";
    }
}

void StopIfInterrupted() {
    if (Interrupted()) throw StoppedWritingNothing();
}

void StopPlayingIfInterrupted() {
    if (Interrupted()) {
        throw CliError(static_cast<ExitStatus>(InterruptedStatus()),
                       std::string("stopped by ") + InterruptedBy());
    }
}

CliError StoppedWritingNothing() {
    return CliError(static_cast<ExitStatus>(InterruptedStatus()),
                    std::string("stopped by ") + InterruptedBy() + "; nothing was written");
}

}  // namespace cli
