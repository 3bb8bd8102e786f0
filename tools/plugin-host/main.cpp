// velnari-host: loads a plug-in module by path the way a media player does,
// checks its module record, opens a song, renders it in host-sized requests
// (optionally seeking part-way) and closes it. Every request is checked
// against the host's rules: the plug-in must count exactly the bytes it was
// asked for and write nothing outside whole frames of the buffer.

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "HostOptions.h"
#include "PcmFile.h"
#include "platform/CallingConvention.h"
#include "platform/DynamicLibrary.h"
#include "plugin/ModuleRecord.h"

namespace host {
namespace {

enum ExitCode : int {
    kDone = 0,
    kUsage = 1,
    kNotLoadable = 2,
    kFaultyRecord = 3,
    kOpenFailed = 4,
    kOutputFailed = 5,
    kRuleBroken = 6,
};

using GetModuleFunction = const ModuleRecord*(VELNARI_WINAPI*)();

constexpr uint8_t kFill = 0xA5;          // what the host puts in a buffer before a request
constexpr uint32_t kGuardBytes = 64;     // watched bytes past the end of each request
constexpr size_t kMaxExtensions = 64;    // a longer list is taken as unterminated
constexpr size_t kMaxTextLength = 1024;  // a longer record text is taken as unterminated

// A text from the record: NUL-terminated within kMaxTextLength, one line.
bool IsOneLine(const char* text) {
    if (text == nullptr) return false;
    for (size_t i = 0; i < kMaxTextLength; ++i) {
        if (text[i] == '\0') return i > 0;
        if (text[i] == '\n' || text[i] == '\r') return false;
    }
    return false;
}

// Prints the record and returns the number of faults found in it.
int CheckRecord(const ModuleRecord& record, bool quiet) {
    int faults = 0;
    auto fault = [&](const char* what) {
        std::printf("record: FAULT %s\n", what);
        ++faults;
    };
    if (!quiet) {
        std::printf("record: version %" PRIu32 ", plug-in version %" PRIu32 ", reentrant %" PRIu32
                    "\n",
                    record.version, record.pluginVersion, record.reentrant);
    }
    if (record.version != kModuleRecordVersion) fault("version is not 100");
    if (!IsOneLine(record.copyright)) fault("copyright is not one line of text");
    if (!IsOneLine(record.description)) fault("description is not one line of text");
    if (!quiet && IsOneLine(record.copyright)) std::printf("copyright: %s\n", record.copyright);
    if (!quiet && IsOneLine(record.description)) {
        std::printf("description: %s\n", record.description);
    }

    if (record.extensions == nullptr) {
        fault("no extension list");
    } else {
        std::string list;
        size_t i = 0;
        for (; i < kMaxExtensions && record.extensions[i] != nullptr; ++i) {
            const char* ext = record.extensions[i];
            if (!IsOneLine(ext) || ext[0] != '.') fault("an extension does not start with '.'");
            list += ' ';
            list += IsOneLine(ext) ? ext : "?";
        }
        if (i == kMaxExtensions) fault("extension list has no terminating null");
        if (i == 0) fault("extension list is empty");
        if (!quiet) std::printf("extensions:%s\n", list.c_str());
    }
    if (record.open == nullptr) fault("no Open");
    if (record.close == nullptr) fault("no Close");
    if (record.render == nullptr) fault("no Render");
    if (record.setPosition == nullptr) fault("no SetPosition");
    if (!quiet) {
        std::printf(
            "hooks: init %s, deinit %s; entry points: Open %s, OpenFromBuffer %s, "
            "Close %s, Render %s, SetPosition %s\n",
            record.init ? "set" : "null", record.deinit ? "set" : "null",
            record.open ? "set" : "null", record.openFromBuffer ? "set" : "null",
            record.close ? "set" : "null", record.render ? "set" : "null",
            record.setPosition ? "set" : "null");
    }
    return faults;
}

bool AllFill(const uint8_t* bytes, size_t size) {
    for (size_t i = 0; i < size; ++i) {
        if (bytes[i] != kFill) return false;
    }
    return true;
}

// Calls the entry points with the arguments a careless host might pass and
// checks the answers. Returns the number of rules broken.
int Probe(const ModuleRecord& record, const HostOptions& options) {
    int broken = 0;
    auto report = [&](bool ok, const char* what) {
        if (!ok) ++broken;
        if (!ok || !options.quiet) std::printf("probe: %s %s\n", ok ? "ok" : "FAULT", what);
    };
    std::vector<uint8_t> buffer(4096 + kGuardBytes, kFill);

    report(
        record.render(nullptr, buffer.data(), 4096) == 0 && AllFill(buffer.data(), buffer.size()),
        "Render with a null handle returns 0 and leaves the buffer alone");
    report(record.setPosition(nullptr, 90000) == 0, "SetPosition with a null handle returns 0");
    record.close(nullptr);
    report(true, "Close with a null handle returns");
    if (options.song.empty()) return broken;

    PluginHandle handle = record.open(options.song.c_str(), nullptr);
    report(handle == nullptr, "Open with a null SoundInfo fails");
    if (handle != nullptr) record.close(handle);

    SoundInfo info{};
    info.samplesPerSec = options.rate;
    handle = record.open(options.song.c_str(), &info);
    if (handle == nullptr) return broken;  // the main run reports the failed open

    report(record.render(handle, buffer.data(), 0) == 0 && AllFill(buffer.data(), buffer.size()),
           "Render of 0 bytes returns 0 and writes nothing");
    report(record.render(handle, nullptr, 4096) == 0, "Render into a null buffer returns 0");
    for (uint32_t size : {1u, 2u, 3u, 4098u}) {
        std::fill(buffer.begin(), buffer.end(), kFill);
        const uint32_t whole = size - size % 4;
        const bool ok = record.render(handle, buffer.data(), size) == size &&
                        AllFill(buffer.data() + whole, buffer.size() - whole);
        const std::string what = "Render of " + std::to_string(size) +
                                 " bytes counts them all, writes whole frames only";
        report(ok, what.c_str());
    }
    report(record.setPosition(handle, 90000) == 0, "SetPosition(90000) returns 0");
    record.close(handle);
    return broken;
}

}  // namespace

int Run(int argc, char** argv) {
    std::string error;
    const auto parsed = ParseHostOptions(argc, argv, error);
    if (!parsed) {
        if (error.empty()) {
            std::fputs(HostUsage(), stdout);
            return kDone;
        }
        std::fprintf(stderr, "velnari-host: %s\n%s", error.c_str(), HostUsage());
        return kUsage;
    }
    const HostOptions& options = *parsed;

    platform::DynamicLibrary library(options.plugin);
    if (!library.IsLoaded()) {
        std::fprintf(stderr, "velnari-host: cannot load %s: %s\n", options.plugin.c_str(),
                     library.Error().c_str());
        return kNotLoadable;
    }
    const auto getModule = reinterpret_cast<GetModuleFunction>(library.Find("kmp_GetTestModule"));
    if (getModule == nullptr) {
        std::fprintf(stderr, "velnari-host: %s exports no kmp_GetTestModule: %s\n",
                     options.plugin.c_str(), library.Error().c_str());
        return kNotLoadable;
    }
    const ModuleRecord* record = getModule();
    if (record == nullptr) {
        std::printf("record: FAULT kmp_GetTestModule returned null\n");
        return kFaultyRecord;
    }
    if (getModule() != record) {
        std::printf("record: FAULT a second call returned another record\n");
        return kFaultyRecord;
    }
    if (CheckRecord(*record, options.quiet) != 0) return kFaultyRecord;

    if (options.probe && Probe(*record, options) != 0) return kRuleBroken;
    if (options.song.empty()) return kDone;

    SoundInfo info{};
    info.samplesPerSec = options.rate;
    PluginHandle handle = record->open(options.song.c_str(), &info);
    if (handle == nullptr) {
        std::printf("open: failed: %s\n", options.song.c_str());
        return kOpenFailed;
    }
    if (!options.quiet) {
        std::printf("open: rate %" PRIu32 ", channels %" PRIu32 ", bits %" PRIu32
                    ", length 0x%08" PRIX32 ", seekable %" PRIu32 ", unit %" PRIu32
                    ", reserved 0x%08" PRIX32 " 0x%08" PRIX32 "\n",
                    info.samplesPerSec, info.channels, info.bitsPerSample, info.length,
                    info.seekable, info.unitRender, info.reserved1, info.reserved2);
    }
    if (info.samplesPerSec == 0 || info.channels != 2 || info.bitsPerSample != 16) {
        std::printf("open: FAULT the output format is not 16-bit stereo at a known rate\n");
        record->close(handle);
        return kRuleBroken;
    }

    const uint64_t totalFrames = static_cast<uint64_t>(options.seconds * info.samplesPerSec);
    const int64_t seekFrame = options.seekAtMs < 0
                                  ? -1
                                  : static_cast<int64_t>(static_cast<uint64_t>(options.seekAtMs) *
                                                         info.samplesPerSec / 1000);
    PcmFile out;
    if (!options.output.empty() &&
        !out.Create(options.output, info.samplesPerSec, totalFrames * 4)) {
        std::fprintf(stderr, "velnari-host: cannot write %s\n", options.output.c_str());
        record->close(handle);
        return kOutputFailed;
    }

    std::vector<uint8_t> buffer(static_cast<size_t>(options.chunk) + kGuardBytes);
    uint64_t frames = 0;
    uint64_t calls = 0;
    bool seeked = false;
    int result = kDone;
    while (frames < totalFrames ||
           (!seeked && seekFrame >= 0 && static_cast<uint64_t>(seekFrame) == frames)) {
        if (!seeked && seekFrame >= 0 && static_cast<uint64_t>(seekFrame) == frames) {
            const uint32_t position = record->setPosition(handle, options.seekTargetMs);
            seeked = true;
            if (!options.quiet) {
                std::printf("seek: at frame %" PRIu64 ", SetPosition(%" PRIu32 ") returned %" PRIu32
                            "\n",
                            frames, options.seekTargetMs, position);
            }
            // 0 after a restart; the position reached after an exact seek,
            // which is never past the one asked for.
            if (position > options.seekTargetMs) {
                std::printf("seek: FAULT SetPosition returned a position past the one asked for\n");
                result = kRuleBroken;
                break;
            }
            if (frames >= totalFrames) break;
        }
        uint64_t want = (totalFrames - frames) * 4;
        if (!seeked && seekFrame >= 0 && static_cast<uint64_t>(seekFrame) > frames) {
            want = std::min<uint64_t>(want, (static_cast<uint64_t>(seekFrame) - frames) * 4);
        }
        // The host's own request size, unless less is left; a request of the
        // host's size may end in a partial frame, a shorter one never does.
        const uint32_t request = want < options.chunk ? static_cast<uint32_t>(want) : options.chunk;
        const uint32_t whole = request - request % 4;
        std::fill(buffer.begin(), buffer.end(), kFill);
        const uint32_t got = record->render(handle, buffer.data(), request);
        ++calls;
        if (got != request) {
            std::printf("render: FAULT asked for %" PRIu32 " bytes, told %" PRIu32 "\n", request,
                        got);
            result = kRuleBroken;
            break;
        }
        if (!AllFill(buffer.data() + whole, buffer.size() - whole)) {
            std::printf("render: FAULT bytes written past the last whole frame of a %" PRIu32
                        "-byte request\n",
                        request);
            result = kRuleBroken;
            break;
        }
        if (!options.output.empty() && !out.Write(buffer.data(), whole)) {
            std::fprintf(stderr, "velnari-host: cannot write %s\n", options.output.c_str());
            result = kOutputFailed;
            break;
        }
        frames += whole / 4;
    }
    record->close(handle);
    if (!options.output.empty() && !out.Close() && result == kDone) {
        std::fprintf(stderr, "velnari-host: cannot write %s\n", options.output.c_str());
        result = kOutputFailed;
    }
    if (!options.quiet && result == kDone) {
        std::printf("render: %" PRIu64 " frames in %" PRIu64 " calls\n", frames, calls);
    }
    return result;
}

}  // namespace host

int main(int argc, char** argv) {
    return host::Run(argc, argv);
}
