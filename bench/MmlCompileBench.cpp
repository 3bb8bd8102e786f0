// Compiles a generated 4 MiB song file (every line kind, long part lines,
// macros, envelopes with continuation lines) as the plug-in does, file to
// song, and reports the throughput in bytes per second of source.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "mml/Compile.h"

namespace {

constexpr std::size_t kSongBytes = 4 * 1024 * 1024;

// A deterministic song of about kSongBytes bytes.
std::string GenerateSong() {
    std::string text;
    text.reserve(kSongBytes + 4096);
    text += "; generated compile benchmark\r\n";
    int voice = 0;
    while (text.size() < kSongBytes) {
        const std::string n = std::to_string(voice);
        text += "sound:@" + n + "\r\n";
        text += "LFO: 0,0,0,4,7\r\n";
        for (int op = 1; op <= 4; ++op) {
            text += "op" + std::to_string(op) + ": 31,5,7,8,2,20,1,2,3,1 ; operator\r\n";
        }
        text += "ssgenv:@" + n + ",4,15,14,13,12,\r\n  -> 11,10,9,8,,7\r\n";
        text += "str:riff" + n + "$=o4 l8 c d e f g4 a b >c< r4 {2 c16d16e16}\r\n";
        text += "d: ignored line with 1:cde in it\r\n";
        for (int part = 1; part <= 6; ++part) {
            text += std::to_string(part) + ": t120 @" + n + " v12 q6 o4 l8";
            for (int bar = 0; bar < 24; ++bar) {
                text += " c+8. d4 e-16 f g a b r4 $riff" + n + "$ y10,20 u1,2,3 < > &";
            }
            text += " ; part " + std::to_string(part) + "\r\n";
        }
        text += "\r\n";
        ++voice;
    }
    return text;
}

void BM_CompileSongFile(benchmark::State& state) {
    const std::string song = GenerateSong();
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() / "velnari-bench-mml-compile.mml";
    {
        std::ofstream out(path, std::ios::binary);
        out.write(song.data(), static_cast<std::streamsize>(song.size()));
    }
    std::size_t commands = 0;
    for (auto _ : state) {
        const Tarsel::FileCompileResult compiled = Tarsel::CompileFile(path.string());
        if (!compiled.song) {
            state.SkipWithError("the generated song did not compile");
            break;
        }
        commands = 0;
        for (int part = 0; part < song::kPartCount; ++part) {
            commands += compiled.song->Part(part).size();
        }
        for (const auto& [name, list] : compiled.song->Macros()) commands += list.size();
        benchmark::DoNotOptimize(compiled.song.get());
    }
    std::filesystem::remove(path);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(song.size()));
    state.counters["commands"] = static_cast<double>(commands);
}
BENCHMARK(BM_CompileSongFile)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
