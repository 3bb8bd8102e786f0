#include "platform/Profile.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

namespace {

// A settings file in the temporary folder, removed again at the end of the test.
class ProfileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char name[] = "/tmp/velnari-profile-XXXXXX";
        const int fd = mkstemp(name);
        ASSERT_GE(fd, 0);
        close(fd);
        path_ = name;
    }
    void TearDown() override { std::remove(path_.c_str()); }

    void Write(const std::string& text) {
        std::ofstream out(path_, std::ios::binary | std::ios::trunc);
        out << text;
    }

    std::string Read(const char* key, const char* fallback = "0") {
        return platform::ReadProfileString(path_, "velnari", key, fallback);
    }

    std::string path_;
};

struct LookupCase {
    const char* name;
    const char* file;
    const char* key;
    const char* expected;
};

TEST_F(ProfileTest, LookupRules) {
    const LookupCase cases[] = {
        {"plain", "[velnari]\nFMVolume=4\n", "FMVolume", "4"},
        {"key case", "[velnari]\nfmvolume=5\n", "FMVolume", "5"},
        {"section case", "[VELNARI]\nFMVolume=6\n", "FMVolume", "6"},
        {"blanks around", "  [ velnari ]  \n  FMVolume  =  -7 \t\n", "FMVolume", "-7"},
        {"crlf", "[velnari]\r\nFMVolume=8\r\nPSGVolume=9\r\n", "PSGVolume", "9"},
        {"double quotes", "[velnari]\nFMVolume=\" 10 \"\n", "FMVolume", " 10 "},
        {"single quotes", "[velnari]\nFMVolume='11'\n", "FMVolume", "11"},
        {"unmatched quotes kept", "[velnari]\nFMVolume=\"12'\n", "FMVolume", "\"12'"},
        {"lone quote kept", "[velnari]\nFMVolume=\"\n", "FMVolume", "\""},
        {"first key wins", "[velnari]\nFMVolume=1\nFMVolume=2\n", "FMVolume", "1"},
        {"first section wins", "[velnari]\nA=1\n[other]\nFMVolume=2\n[velnari]\nFMVolume=3\n",
         "FMVolume", "0"},
        {"other section only", "[other]\nFMVolume=3\n", "FMVolume", "0"},
        {"before any section", "FMVolume=3\n[velnari]\n", "FMVolume", "0"},
        {"comment line", "[velnari]\n;FMVolume=3\n", "FMVolume", "0"},
        {"inline text stays", "[velnari]\nFMVolume=4 ; loud\n", "FMVolume", "4 ; loud"},
        {"empty value", "[velnari]\nFMVolume=\n", "FMVolume", ""},
        {"line without equals", "[velnari]\nFMVolume\nFMVolume=5\n", "FMVolume", "5"},
        {"equals in value", "[velnari]\nFMVolume=a=b\n", "FMVolume", "a=b"},
        {"prefix of key", "[velnari]\nFMVolumeX=3\n", "FMVolume", "0"},
        {"no newline at end", "[velnari]\nFMVolume=13", "FMVolume", "13"},
        {"empty file", "", "FMVolume", "0"},
    };
    for (const auto& c : cases) {
        Write(c.file);
        EXPECT_EQ(Read(c.key), c.expected) << c.name;
    }
}

TEST_F(ProfileTest, MissingFileGivesDefault) {
    std::remove(path_.c_str());
    EXPECT_EQ(Read("FMVolume", "0"), "0");
    EXPECT_EQ(Read("FMVolume", "abc"), "abc");
}

TEST_F(ProfileTest, ValueIsCutTo255Characters) {
    const std::string longValue(400, 'x');
    Write("[velnari]\nFMVolume=" + longValue + "\n");
    EXPECT_EQ(Read("FMVolume"), longValue.substr(0, 255));
}

TEST_F(ProfileTest, BinaryGarbageDoesNotBreakTheReader) {
    std::string junk;
    for (int i = 0; i < 2048; ++i) junk.push_back(static_cast<char>((i * 37) & 0xFF));
    Write(junk + "\n[velnari]\nPSGVolume=-3\n");
    EXPECT_EQ(Read("PSGVolume"), "-3");
}

}  // namespace
