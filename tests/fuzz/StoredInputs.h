#pragma once
// Stored fuzz inputs on disk: the seed corpus and the regression inputs, one
// file per input, read by the replay test and by fuzz_replay.

#include <cstdint>
#include <filesystem>
#include <vector>

namespace fuzz {

// Appends the inputs under `path`: `path` itself when it is a regular file,
// otherwise every regular file below it (searched recursively), in name
// order. False when `path` is neither, or the folder cannot be read.
bool CollectInputs(const std::filesystem::path& path, std::vector<std::filesystem::path>& inputs);

// The whole file as bytes; false when it cannot be read.
bool ReadInput(const std::filesystem::path& path, std::vector<uint8_t>& bytes);

}  // namespace fuzz
