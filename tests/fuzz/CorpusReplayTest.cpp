// Replays every stored fuzz input through its target: the seed corpus
// (example and test songs, settings files, chip operation streams) and the
// regression inputs, each kept under <folder>/<target>/. An input that breaks
// an invariant or trips a sanitizer aborts the run; the input's path is then
// printed first.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "FuzzTargets.h"
#include "StoredInputs.h"

namespace {

namespace fs = std::filesystem;

const fs::path kFuzzDir = fs::path(VELNARI_SOURCE_DIR) / "tests" / "fuzz";

// The inputs stored for `target` under <folder>/<target>/, if that exists.
std::vector<fs::path> InputsOf(const std::string& folder, std::string_view target) {
    std::vector<fs::path> files;
    const fs::path dir = kFuzzDir / folder / std::string(target);
    if (fs::is_directory(dir)) {
        EXPECT_TRUE(fuzz::CollectInputs(dir, files)) << dir;
    }
    return files;
}

void Replay(const fuzz::NamedTarget& target, const std::vector<fs::path>& inputs) {
    for (const fs::path& path : inputs) {
        std::vector<uint8_t> bytes;
        ASSERT_TRUE(fuzz::ReadInput(path, bytes)) << path;
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
