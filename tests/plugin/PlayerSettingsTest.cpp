#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "platform/Module.h"
#include "plugin/Player.h"

using plugin::Player;

namespace {

// The settings file lies beside the module: for this test program, its own
// path with ".ini". Only this one test writes that file.
TEST(PlayerSettingsTest, DefaultPlayerReadsTheFileBesideTheModule) {
    const std::string ini = platform::SettingsPathForModule();
    ASSERT_FALSE(ini.empty());
    std::remove(ini.c_str());
    {
        Player player;
        EXPECT_EQ(player.Volumes().fm, 0);
        EXPECT_EQ(player.Volumes().ssg, 0);
        EXPECT_FALSE(player.ExactSeek());
    }
    std::ofstream(ini) << "; output volumes\n[velnari]\nFMVolume=-8\nPSGVolume=5\nExactSeek=1\n";
    {
        Player player;
        EXPECT_EQ(player.Volumes().fm, -8);
        EXPECT_EQ(player.Volumes().ssg, 5);
        EXPECT_TRUE(player.ExactSeek());
    }
    std::remove(ini.c_str());
}

}  // namespace
