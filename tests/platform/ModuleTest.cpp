#include "platform/Module.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <string>

namespace {

std::string RealExecutable() {
    char buffer[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
}

// The library is linked into this test program, so the module is the program.
TEST(ModuleTest, ModuleIsTheProgramThatHoldsTheLibrary) {
    const std::string exe = RealExecutable();
    ASSERT_FALSE(exe.empty());
    EXPECT_EQ(platform::ModuleFilePath(), exe);
    // The program has no extension: ".ini" is appended to its full path.
    EXPECT_EQ(platform::SettingsPathForModule(), exe + ".ini");
}

}  // namespace
