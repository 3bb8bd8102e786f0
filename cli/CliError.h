#pragma once
// The one exception type of the command line: a message for standard error
// and the exit status that goes with it.

#include <stdexcept>
#include <string>

namespace cli {

// Exit statuses of the velnari program.
enum ExitStatus : int {
    kExitOk = 0,
    kExitFailure = 1,  // a song that cannot be read or compiled, an output that cannot be written
    kExitUsage = 2,    // a bad option, a bad option value, an unknown output extension
    kExitInterrupted = 130  // stopped with Ctrl-C (128 + SIGINT, as shells report it);
                            // other terminating signals give 128 + their number
};

// Thrown by the commands; main prints "velnari: " + what() and exits with status().
class CliError : public std::runtime_error {
  public:
    CliError(ExitStatus status, const std::string& message)
        : std::runtime_error(message), status_(status) {}

    ExitStatus status() const { return status_; }

  private:
    ExitStatus status_;
};

}  // namespace cli
