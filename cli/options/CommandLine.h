#pragma once
// The velnari command line: sub-commands, their options and the checks on
// option values. Parsing has no side effects beyond the returned outcome, so
// it can be tested with argument vectors.

#include <string>
#include <variant>
#include <vector>

#include "options/Options.h"

namespace cli {

using Invocation =
    std::variant<RenderOptions, PlayOptions, CheckOptions, InfoOptions, VoicesOptions>;

struct ParseOutcome {
    // Set when a command is to run; otherwise the program ends with
    // exitStatus after printing the texts below (help, or a usage error).
    std::optional<Invocation> invocation;
    int exitStatus = 0;
    std::string standardOutput;  // --help text
    std::string standardError;   // usage error text
};

// args[0] is the program name, as in argv.
ParseOutcome ParseCommandLine(const std::vector<std::string>& args);

}  // namespace cli
