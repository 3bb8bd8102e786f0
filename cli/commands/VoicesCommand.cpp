#include "commands/VoicesCommand.h"

#include <cstdio>
#include <string>

#include "CliError.h"
#include "platform/WholeFile.h"
#include "reglog/Gzip.h"
#include "reglog/VoiceLift.h"

namespace cli {

int RunVoices(const VoicesOptions& options) {
    std::string bytes;
    const std::string fault = !platform::ReadWholeFile(options.log.c_str(), bytes)
                                  ? "cannot read it (missing, unreadable or empty)"
                                  : "";
    const reglog::VoiceLiftResult lifted =
        fault.empty() ? reglog::LiftVoices(reinterpret_cast<const uint8_t*>(bytes.data()),
                                           bytes.size(), reglog::GzipDecompress)
                      : reglog::VoiceLiftResult{{}, fault};
    if (!lifted.fault.empty())
        throw CliError(kExitFailure, "cannot read '" + options.log + "': " + lifted.fault);
    std::fputs(reglog::VoiceDefinitions(lifted.voices, options.log).c_str(), stdout);
    return kExitOk;
}

}  // namespace cli
