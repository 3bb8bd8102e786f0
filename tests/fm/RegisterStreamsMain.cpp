// fm_streams: renders every register stream (RegisterStreams.h) and compares
// its hash with the recorded one. Prints how many streams were rendered and
// exits 0 when all match; otherwise names each stream that differs and
// exits 1. Runs without GoogleTest, so the Windows builds run it under Wine.
//
//   fm_streams           compare
//   fm_streams --record  print the hashes this build renders, as the table's
//                        source, and exit 0
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "RegisterStreams.h"

int main(int argc, char** argv) {
    const bool record = argc > 1 && std::strcmp(argv[1], "--record") == 0;
    int differing = 0;
    for (int seed = 0; seed < fmstreams::kStreamCount; ++seed) {
        const uint64_t hash = fmstreams::RenderStream(static_cast<uint32_t>(seed));
        if (record) {
            std::printf("    0x%016" PRIX64 "ull,%s", hash, seed % 3 == 2 ? "\n" : "");
        } else if (hash != fmstreams::kRecordedHashes[seed]) {
            std::printf("stream %d: hash %016" PRIX64 ", recorded %016" PRIX64 "\n", seed, hash,
                        fmstreams::kRecordedHashes[seed]);
            ++differing;
        }
    }
    if (record) return 0;
    std::printf("fm_streams: %d of %d register streams render the recorded bytes\n",
                fmstreams::kStreamCount - differing, fmstreams::kStreamCount);
    return differing == 0 ? 0 : 1;
}
