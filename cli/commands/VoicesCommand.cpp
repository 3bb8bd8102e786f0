#include "commands/VoicesCommand.h"

#include <cstdio>
#include <string>

#include "CliError.h"
#include "platform/WholeFile.h"
#include "reglog/Gzip.h"
#include "reglog/LogReader.h"
#include "reglog/VoiceLift.h"

namespace cli {

int RunVoices(const VoicesOptions& options) {
    reglog::VoiceLifter lifter;
    const reglog::LogReadResult read = reglog::ReadRegisterLogFile(options.log);
    if (read.log) {
        reglog::ReadChipWrites(*read.log, lifter);
    } else {
        // Not a log of one YM2203 alone: perhaps one of its kin, or several chips.
        reglog::ChipWriteReadResult kin;
        std::string bytes;
        if (platform::ReadWholeFile(options.log.c_str(), bytes) &&
            bytes.size() <= reglog::kMaxLogBytes) {
            kin = reglog::ReadChipWrites(reinterpret_cast<const uint8_t*>(bytes.data()),
                                         bytes.size(), lifter, reglog::GzipDecompress);
        }
        const std::string& fault = kin.named ? kin.fault : read.fault;
        if (!fault.empty())
            throw CliError(kExitFailure, "cannot read '" + options.log + "': " + fault);
    }
    std::fputs(reglog::VoiceDefinitions(lifter.Voices(), options.log).c_str(), stdout);
    return kExitOk;
}

}  // namespace cli
