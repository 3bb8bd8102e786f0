#include "platform/Profile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "support/ScratchFolder.h"

namespace {

TEST(ProfileTest, ReadsLikeThePrivateProfileApi) {
    const testsupport::ScratchFolder folder("velnari-profile");
    const std::string path = folder.File("velnari.ini");
    const auto read = [&](const std::string& text, const char* key) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
        return platform::ReadProfileString(path, "velnari", key, "0");
    };
    struct Case {
        std::string file;
        const char* expected;  // for key "FMVolume"
    };
    const Case cases[] = {
        {"[velnari]\nFMVolume=4\n", "4"},
        {"[VELNARI]\nfmvolume=5\n", "5"},  // names ignore case
        {"  [ velnari ]  \n  FMVolume  =  -7 \t\n", "-7"},
        {"[velnari]\r\nPSGVolume=1\r\nFMVolume=8\r\n", "8"},
        {"[velnari]\nFMVolume=\" 10 \"\n", " 10 "},  // quotes go, what they hold stays
        {"[velnari]\nFMVolume='11'\n", "11"},
        {"[velnari]\nFMVolume=\"12'\n", "\"12'"},
        {"[velnari]\nFMVolume=\"\n", "\""},
        {"[velnari]\nFMVolume=1\nFMVolume=2\n", "1"},
        {"[velnari]\nA=1\n[other]\nFMVolume=2\n[velnari]\nFMVolume=3\n", "0"},  // first section
        {"FMVolume=3\n[velnari]\n", "0"},
        {"[velnari]\n;FMVolume=3\n", "0"},
        {"[velnari]\nFMVolume=4 ; loud\n", "4 ; loud"},
        {"[velnari]\nFMVolume=\n", ""},
        {"[velnari]\nFMVolume\nFMVolumeX=3\nFMVolume=a=b\n", "a=b"},
        {"[velnari]\nFMVolume=13", "13"},
        {"[velnari]\nFMVolume=" + std::string(400, 'x') + "\n", nullptr},
        {"", "0"},
    };
    for (const auto& c : cases) {
        const std::string expected = c.expected ? c.expected : std::string(255, 'x');
        EXPECT_EQ(read(c.file, "FMVolume"), expected) << c.file.substr(0, 60);
    }
    // A missing file, a folder or a FIFO (which would block a reader) give the default.
    std::remove(path.c_str());
    EXPECT_EQ(platform::ReadProfileString(path, "velnari", "FMVolume", "abc"), "abc");
    EXPECT_EQ(platform::ReadProfileString(folder.Path().string(), "velnari", "FMVolume", "abc"),
              "abc");
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    EXPECT_EQ(platform::ReadProfileString(path, "velnari", "FMVolume", "abc"), "abc");
}

}  // namespace
