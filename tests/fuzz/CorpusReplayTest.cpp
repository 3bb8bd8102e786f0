// Replays every stored fuzz input through its target: the seed corpus
// (example and test songs, settings files, chip operation streams) and the
// regression inputs, each kept under <folder>/<target>/. An input that breaks
// an invariant or trips a sanitizer aborts the run; the input's path is then
// printed first.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "FuzzTargets.h"

namespace {

namespace fs = std::filesystem;

const fs::path kFuzzDir = fs::path(VELNARI_SOURCE_DIR) / "tests" / "fuzz";

std::vector<fs::path> InputsOf(const std::string& folder, std::string_view target) {
    std::vector<fs::path> files;
    const fs::path dir = kFuzzDir / folder / std::string(target);
    if (!fs::is_directory(dir)) return files;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        if (entry.is_regular_file()) files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::vector<uint8_t> ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void Replay(const fuzz::NamedTarget& target, const std::vector<fs::path>& inputs) {
    for (const fs::path& path : inputs) {
        const std::vector<uint8_t> bytes = ReadAll(path);
        fuzz::SetCurrentInput(path.string());
        EXPECT_EQ(target.run(bytes.data(), bytes.size()), 0) << path;
    }
    fuzz::SetCurrentInput({});
}

class CorpusReplay : public ::testing::TestWithParam<fuzz::NamedTarget> {};

TEST_P(CorpusReplay, SeedsRunClean) {
    const auto inputs = InputsOf("corpus", GetParam().name);
    // A target without seeds would fuzz from nothing and replay nothing.
    ASSERT_FALSE(inputs.empty()) << "no seeds for " << GetParam().name;
    Replay(GetParam(), inputs);
}

TEST_P(CorpusReplay, RegressionsRunClean) {
    Replay(GetParam(), InputsOf("regressions", GetParam().name));
}

INSTANTIATE_TEST_SUITE_P(Targets, CorpusReplay, ::testing::ValuesIn(fuzz::kTargets),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
