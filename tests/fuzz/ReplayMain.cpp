// fuzz_replay: runs stored fuzz inputs through a target outside GoogleTest and
// libFuzzer, so the same checks run wherever the library is built, Windows
// included.
//
//   fuzz_replay TARGET PATH...
//
// Every regular file under each PATH (a file or a folder, searched
// recursively, in name order) is one input. A broken invariant aborts with
// the input's name; otherwise the program prints how many inputs ran and
// exits 0. A usage error or an unreadable input exits 2.

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzTargets.h"
#include "StoredInputs.h"

namespace {

namespace fs = std::filesystem;

int Usage() {
    std::fprintf(stderr, "usage: fuzz_replay TARGET PATH...\ntargets:");
    for (const auto& target : fuzz::kTargets) {
        std::fprintf(stderr, " %.*s", static_cast<int>(target.name.size()), target.name.data());
    }
    std::fprintf(stderr, "\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return Usage();
    const std::string_view name = argv[1];
    const auto target = std::find_if(std::begin(fuzz::kTargets), std::end(fuzz::kTargets),
                                     [&](const auto& t) { return t.name == name; });
    if (target == std::end(fuzz::kTargets)) return Usage();

    std::vector<fs::path> inputs;
    for (int i = 2; i < argc; ++i) {
        if (!fuzz::CollectInputs(argv[i], inputs)) {
            std::fprintf(stderr, "fuzz_replay: cannot read %s\n", argv[i]);
            return 2;
        }
    }
    std::vector<uint8_t> bytes;
    for (const fs::path& input : inputs) {
        if (!fuzz::ReadInput(input, bytes)) {
            std::fprintf(stderr, "fuzz_replay: cannot read %s\n", input.string().c_str());
            return 2;
        }
        fuzz::SetCurrentInput(input.string());
        target->run(bytes.data(), bytes.size());
    }
    fuzz::SetCurrentInput({});
    std::printf("fuzz_replay: %.*s: %zu inputs ran clean\n", static_cast<int>(name.size()),
                name.data(), inputs.size());
    return 0;
}
