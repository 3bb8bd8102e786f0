#include "commands/VoicesCommand.h"

#include <cstdio>

#include "CliError.h"
#include "platform/WholeFile.h"
#include "reglog/Gzip.h"
#include "reglog/LogReader.h"

namespace cli {

namespace {

// "m:ss.mmm" of a time in 1/44100 s.
std::string Clock(int64_t sample) {
    const int64_t ms = sample * 1000 / reglog::kLogRate;
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld.%03lld", static_cast<long long>(ms / 60000),
                  static_cast<long long>(ms / 1000 % 60), static_cast<long long>(ms % 1000));
    return text;
}

std::string Definition(int number, const reglog::LiftedVoice& lifted) {
    const song::FMVoice& v = lifted.voice;
    std::string head = "sound:@" + std::to_string(number);
    head.resize(std::max<std::size_t>(head.size() + 1, 32), ' ');
    char line[128];
    std::string text = head + "; first on FM" + std::to_string(lifted.channel + 1) + " of the " +
                       reglog::ChipName(lifted.chip) + " at " + Clock(lifted.sample) + "\n";
    std::snprintf(line, sizeof line, "lfo: 0,0,0, %d,%d\n", v.fbAlg & 7, (v.fbAlg >> 3) & 7);
    text += line;
    text += ";    AR DR SR RR SL  TL KS MUL DT ratio\n";
    for (int i = 0; i < 4; ++i) {
        const song::FMOperatorBlock& op = v.op[i];
        std::snprintf(line, sizeof line, "op%d: %2d,%2d,%2d,%2d,%2d,%3d,%2d,%3d,%2d,%2d\n", i + 1,
                      op.ksAr & 31, op.dr, op.sr, op.slRr & 15, op.slRr >> 4, op.tl, op.ksAr >> 6,
                      op.dtMul & 15, (op.dtMul >> 4) & 7, op.ratio);
        text += line;
    }
    return text;
}

}  // namespace

std::string FormatVoices(const std::vector<reglog::LiftedVoice>& voices, const std::string& log) {
    if (voices.empty()) return "; " + log + " keys on no FM voice\n";
    std::string text = "; " + std::to_string(voices.size()) + " FM voice" +
                       (voices.size() == 1 ? "" : "s") + " keyed on in " + log +
                       ", in order of first use\n";
    for (std::size_t i = 0; i < voices.size(); ++i) {
        text += "\n" + Definition(static_cast<int>(i) + 1, voices[i]);
    }
    return text;
}

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
    std::fputs(FormatVoices(lifter.Voices(), options.log).c_str(), stdout);
    return kExitOk;
}

}  // namespace cli
