// The built shared module, loaded by path as a host loads it: its record, and
// its output with settings files of every shape placed beside it. Each case
// copies the module into a folder of its own, so the settings file it finds
// beside itself is the one the case wrote.

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "HostTestSupport.h"
#include "platform/CallingConvention.h"
#include "platform/DynamicLibrary.h"
#include "plugin/ModuleRecord.h"

namespace {

using hosttest::RenderWithPlayer;
using hosttest::ScratchFolder;
using hosttest::SongPath;

using GetModuleFunction = const ModuleRecord*(VELNARI_WINAPI*)();

constexpr uint32_t kBytes = 4 * 22050;  // half a second at 44100 Hz

class SharedModuleTest : public ::testing::Test {
  protected:
    // Copies the module into the scratch folder, optionally with a settings
    // file beside it, and loads it from there.
    platform::DynamicLibrary LoadCopy(const char* settings) {
        const std::filesystem::path module = scratch_.Path() / "velnari.so";
        std::filesystem::copy_file(VELNARI_MODULE_FILE, module,
                                   std::filesystem::copy_options::overwrite_existing);
        if (settings != nullptr) scratch_.Write("velnari.ini", settings);
        return platform::DynamicLibrary(module.string());
    }

    static const ModuleRecord* RecordOf(platform::DynamicLibrary& library) {
        const auto get = reinterpret_cast<GetModuleFunction>(library.Find("kmp_GetTestModule"));
        return get != nullptr ? get() : nullptr;
    }

    // Half a second of the song through the module's own entry points.
    static std::vector<uint8_t> RenderThrough(const ModuleRecord& record, const std::string& song) {
        SoundInfo info{};
        PluginHandle handle = record.open(song.c_str(), &info);
        EXPECT_NE(handle, nullptr);
        std::vector<uint8_t> pcm(kBytes);
        if (handle != nullptr) {
            EXPECT_EQ(record.render(handle, pcm.data(), kBytes), kBytes);
            record.close(handle);
        }
        return pcm;
    }

    ScratchFolder scratch_;
};

TEST_F(SharedModuleTest, LoadsByPathAndHandsOutItsRecord) {
    platform::DynamicLibrary library = LoadCopy(nullptr);
    ASSERT_TRUE(library.IsLoaded()) << library.Error();
    const ModuleRecord* record = RecordOf(library);
    ASSERT_NE(record, nullptr) << library.Error();
    const auto get = reinterpret_cast<GetModuleFunction>(library.Find("kmp_GetTestModule"));
    EXPECT_EQ(get(), record);
    EXPECT_EQ(record->version, 100u);
    EXPECT_STREQ(record->extensions[0], ".mml");
    EXPECT_STREQ(record->extensions[1], ".tarsel");
    EXPECT_EQ(record->extensions[2], nullptr);

    // The library's own symbols stay inside the module.
    EXPECT_EQ(library.Find("_ZN6Player6RenderEPvj"), nullptr);
    EXPECT_EQ(library.Find("_ZN6plugin4OpenEPKcP9SoundInfo"), nullptr);

    EXPECT_EQ(RenderThrough(*record, SongPath("duet.mml")),
              RenderWithPlayer(SongPath("duet.mml"), 0, 0, kBytes));

    // Compile faults reach the user on standard error, where a message box
    // would show them on Windows.
    SoundInfo info{};
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(record->open(SongPath("faulty.mml").c_str(), &info), nullptr);
    const std::string shown = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(shown.find("faulty.mml(3) : parse error at \"! f4\""), std::string::npos) << shown;
}

// The volumes the module takes from the settings file beside it, for files of
// every shape. Each case's output must equal a player given those volumes.
TEST_F(SharedModuleTest, SettingsBesideTheModuleSetTheVolumes) {
    const std::string longZeros(300, '0');
    struct Case {
        const char* what;
        std::string settings;
        int32_t fm;
        int32_t ssg;
    };
    const Case cases[] = {
        {"both volumes", "[velnari]\nFMVolume=-20\nPSGVolume=8\n", -20, 8},
        {"Windows line ends", "[velnari]\r\nFMVolume=-20\r\nPSGVolume=8\r\n", -20, 8},
        {"blanks around keys and values", "[velnari]\n  FMVolume =  -20  \nPSGVolume\t=8\n", -20,
         8},
        {"quoted value", "[velnari]\nFMVolume=\"-20\"\n", -20, 0},
        {"key names in another case", "[VELNARI]\nfmvolume=-20\n", -20, 0},
        {"duplicate keys: the first counts", "[velnari]\nFMVolume=-20\nFMVolume=6\n", -20, 0},
        {"no section", "FMVolume=-20\nPSGVolume=8\n", 0, 0},
        {"another section", "[other]\nFMVolume=-20\n", 0, 0},
        {"FM not a number zeroes both", "[velnari]\nFMVolume=abc\nPSGVolume=-6\n", 0, 0},
        {"SSG not a number keeps FM", "[velnari]\nFMVolume=4\nPSGVolume=abc\n", 4, 0},
        {"a fraction is not a number", "[velnari]\nFMVolume=4.5\nPSGVolume=8\n", 0, 0},
        {"a blank inside the number", "[velnari]\nFMVolume=- 20\nPSGVolume=8\n", 0, 0},
        {"beyond 32 bits", "[velnari]\nFMVolume=4294967296\nPSGVolume=8\n", 0, 0},
        {"long value cut to 255 characters",
         "[velnari]\nFMVolume=" + longZeros + "4\nPSGVolume=8\n", 0, 8},
        {"empty file", "", 0, 0},
    };
    const std::string song = SongPath("duet.mml");
    const std::vector<uint8_t> defaultVolumes = RenderWithPlayer(song, 0, 0, kBytes);
    for (const Case& c : cases) {
        platform::DynamicLibrary library = LoadCopy(c.settings.c_str());
        ASSERT_TRUE(library.IsLoaded()) << library.Error();
        const ModuleRecord* record = RecordOf(library);
        ASSERT_NE(record, nullptr);
        const std::vector<uint8_t> expected = RenderWithPlayer(song, c.fm, c.ssg, kBytes);
        if (c.fm != 0 || c.ssg != 0) {
            ASSERT_NE(expected, defaultVolumes) << "the song must show the volume: " << c.what;
        }
        EXPECT_EQ(RenderThrough(*record, song), expected) << c.what;
    }

    // A settings "file" that cannot be read as one: the defaults apply.
    std::filesystem::remove(scratch_.Path() / "velnari.ini");
    std::filesystem::create_directory(scratch_.Path() / "velnari.ini");
    platform::DynamicLibrary library = LoadCopy(nullptr);
    const ModuleRecord* record = RecordOf(library);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(RenderThrough(*record, song), defaultVolumes);
}

}  // namespace
