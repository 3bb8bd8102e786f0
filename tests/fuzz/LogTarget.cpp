// Arbitrary bytes as a register-log file (VGM, gzip-compressed VGM or S98).
// The reader must either give a log or say why not; a log it gives must hold
// a loop that advances, survive being written as VGM and read again with the
// same writes and times, and play through its loop at a rate picked from the
// input's size, every mix into exact-size storage.

#include <memory>
#include <vector>

#include "FuzzTargets.h"
#include "reglog/LogPlayer.h"
#include "reglog/LogReader.h"
#include "reglog/Vgm.h"

namespace fuzz {
namespace {

constexpr std::size_t kMaxBytes = std::size_t{1} << 20;  // decompressed, per input
constexpr int64_t kMaxFrames = int64_t{1} << 16;         // played, per input

}  // namespace

int ReadLog(const uint8_t* data, std::size_t size) {
    const reglog::LogReadResult read = reglog::ReadRegisterLog(data, size, kMaxBytes);
    FUZZ_CHECK(read.log.has_value() == read.fault.empty());
    if (!read.log) return 0;
    const reglog::RegisterLog& log = *read.log;
    FUZZ_CHECK(log.clock >= reglog::kMinClock && log.clock <= reglog::kMaxClock);
    FUZZ_CHECK(log.TotalSamples() <= reglog::kMaxLogSamples);
    if (log.loopStart) {
        FUZZ_CHECK(*log.loopStart <= log.commands.size());
        FUZZ_CHECK(log.LoopSamples() > 0);
    }

    const std::vector<uint8_t> vgm = reglog::WriteVgm(log);
    const reglog::LogReadResult again = reglog::ReadRegisterLog(vgm.data(), vgm.size());
    FUZZ_CHECK(again.log.has_value());
    FUZZ_CHECK(again.log->TotalSamples() == log.TotalSamples());
    FUZZ_CHECK(again.log->LoopSamples() == log.LoopSamples());
    FUZZ_CHECK(again.log->WriteCount() == log.WriteCount());
    FUZZ_CHECK(again.log->clock == log.clock);

    const uint32_t rate = kRenderRates[size % std::size(kRenderRates)];
    reglog::LogPlayer player(std::make_shared<reglog::RegisterLog>(log), rate);
    FUZZ_CHECK(player.Ready());
    const int64_t through =
        reglog::LogPlayer::FrameOfSample(log.LoopStartSample() + log.LoopSamples(), rate) + 100;
    int64_t left = std::min(through, kMaxFrames);
    for (int32_t n = 1; left > 0; n = n * 3 % 5000 + 1) {
        const auto count = static_cast<int32_t>(std::min<int64_t>(n, left));
        std::vector<int16_t> frames(static_cast<std::size_t>(count) * 2);
        player.Render(frames.data(), count);
        for (std::size_t i = 0; i < frames.size(); i += 2) FUZZ_CHECK(frames[i] == frames[i + 1]);
        left -= count;
    }
    return 0;
}

}  // namespace fuzz
