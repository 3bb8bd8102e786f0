#include "support/ScratchFolder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <random>
#include <stdexcept>
#include <system_error>

namespace testsupport {

ScratchFolder::ScratchFolder(std::string_view prefix) {
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    std::random_device device;
    for (int attempt = 0; attempt < 100; ++attempt) {
        char token[24];
        std::snprintf(token, sizeof token, "%08x%08x", static_cast<unsigned>(device()),
                      static_cast<unsigned>(device()));
        const std::filesystem::path candidate = base / (std::string(prefix) + "-" + token);
        std::error_code error;
        // True only when this call made the folder: a name in use is skipped.
        if (std::filesystem::create_directory(candidate, error)) {
            path_ = candidate;
            return;
        }
    }
    throw std::runtime_error("no fresh scratch folder could be made in " + base.string());
}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    // A test may have taken permissions away; give them back so the
    // folder can be removed.
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path_, ignored);
}

std::string ScratchFolder::File(std::string_view name) const {
    return (path_ / std::filesystem::path(name)).string();
}

std::string ScratchFolder::Write(std::string_view name, std::string_view bytes) const {
    const std::string file = File(name);
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    EXPECT_TRUE(out) << "could not write " << file;
    return file;
}

}  // namespace testsupport
