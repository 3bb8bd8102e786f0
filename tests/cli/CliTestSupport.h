#pragma once
// Helpers for the command-line tests: a scratch folder that removes itself,
// song files written into it, and runs of the real velnari program with
// their exit status and output captured.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/ScratchFolder.h"

namespace clitest {

// A scratch folder with the names the command-line tests use.
class ScratchDir : public testsupport::ScratchFolder {
  public:
    ScratchDir() : ScratchFolder("velnari-cli") {}

    const std::filesystem::path& path() const { return Path(); }
    std::string operator/(const std::string& name) const { return File(name); }

    // Names of everything in the folder, sorted.
    std::vector<std::string> Entries() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(Path())) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }
};

inline std::string ReadFile(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

struct RunResult {
    int status = -1;
    std::string out;
    std::string err;
};

inline std::string Quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    return quoted + "'";
}

// Runs the velnari program (or a copy of it at `program`) with `arguments`
// (already quoted as the shell needs) in `dir`, with `environment`
// ("NAME=value ...") in front and standard input from `input`. The user's
// settings folder is `dir`/.config unless `environment` says otherwise, so
// the tester's own settings never reach a test.
inline RunResult RunVelnari(const ScratchDir& dir, const std::string& arguments,
                            const std::string& environment = "",
                            const std::string& program = VELNARI_PROGRAM,
                            const std::string& input = "/dev/null") {
    const std::string out = dir / ".stdout";
    const std::string err = dir / ".stderr";
    const std::string status = dir / ".status";
    const std::string command = "cd " + Quote(dir.path().string()) +
                                " && export XDG_CONFIG_HOME=" + Quote(dir / ".config") + " && " +
                                environment + " " + Quote(program) + " " + arguments + " >" +
                                Quote(out) + " 2>" + Quote(err) + " <" + Quote(input) +
                                "; echo $? >" + Quote(status);
    RunResult result;
    if (std::system(command.c_str()) != 0) return result;
    result.status = std::stoi(ReadFile(status));
    result.out = ReadFile(out);
    result.err = ReadFile(err);
    std::filesystem::remove(out);
    std::filesystem::remove(err);
    std::filesystem::remove(status);
    return result;
}

// Frames per tick as the sequencer computes them, from the tempo and rate.
inline int64_t FramesPerTick(int tempo, uint32_t rate) {
    return static_cast<int64_t>(60.0 / (tempo * 16.0) * rate / 1.1 + 0.5);
}

}  // namespace clitest
