#pragma once
// Shared helpers for the plug-in boundary tests: the test songs, a private
// scratch folder per test, and PCM rendered through a Player for comparison.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "plugin/Player.h"

namespace hosttest {

inline std::string SongPath(const char* name) {
    return std::string(VELNARI_SOURCE_DIR) + "/tests/host/data/" + name;
}

// A fresh folder under the system temp folder, removed with the object.
class ScratchFolder {
  public:
    ScratchFolder() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string("velnari-host-") + info->test_suite_name() + "-" +
                           info->name() + "-" + std::to_string(std::random_device{}());
        for (char& c : name) {
            if (c == '/') c = '_';
        }
        path_ = std::filesystem::temp_directory_path() / name;
        std::filesystem::create_directories(path_);
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    std::string File(const std::string& name) const { return (path_ / name).string(); }

    void Write(const std::string& name, const std::string& contents) const {
        std::ofstream(path_ / name, std::ios::binary) << contents;
    }

  private:
    std::filesystem::path path_;
};

// `bytes` of output from a Player with the given volumes, opened at `rate`;
// with `seekAfter` set, the player seeks once that many bytes are out.
inline std::vector<uint8_t> RenderWithPlayer(const std::string& song, int32_t fmVolume,
                                             int32_t ssgVolume, uint32_t bytes,
                                             uint32_t rate = 44100, uint32_t seekAfter = 0) {
    Player player(fmVolume, ssgVolume);
    SoundInfo info{};
    info.samplesPerSec = rate;
    EXPECT_TRUE(player.Open(song.c_str(), &info));
    std::vector<uint8_t> pcm(bytes);
    if (seekAfter == 0 || seekAfter >= bytes) {
        player.Render(pcm.data(), bytes);
    } else {
        player.Render(pcm.data(), seekAfter);
        player.Seek();
        player.Render(pcm.data() + seekAfter, bytes - seekAfter);
    }
    return pcm;
}

}  // namespace hosttest
