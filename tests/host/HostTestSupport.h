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
#include "support/ScratchFolder.h"

using plugin::Player;

namespace hosttest {

inline std::string SongPath(const char* name) {
    return std::string(VELNARI_SOURCE_DIR) + "/tests/host/data/" + name;
}

using testsupport::ScratchFolder;

// `bytes` of output from a Player with the given volumes, opened at `rate`;
// with `seekAfter` set, the player seeks once that many bytes are out.
inline std::vector<uint8_t> RenderWithPlayer(const std::string& song, int32_t fmVolume,
                                             int32_t ssgVolume, uint32_t bytes,
                                             uint32_t rate = 44100, uint32_t seekAfter = 0) {
    Player player(engine::Volumes{fmVolume, ssgVolume});
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
