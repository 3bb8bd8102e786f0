#include "plugin/EntryPoints.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>

#include "platform/DebugOutput.h"
#include "plugin/Player.h"

namespace plugin {

namespace {

constexpr uint32_t kBytesPerFrame = 4;  // 16-bit stereo

// Size of the aligned block through which a misaligned host buffer is filled:
// 1024 frames, small enough for the stack.
constexpr uint32_t kScratchBytes = 4096;

Player* PlayerOf(PluginHandle handle) {
    return static_cast<Player*>(handle);
}

// Fills a host buffer that does not sit on a 16-bit boundary. The player sees
// the same sequence of whole-frame requests it would see from a host that
// asks in 4096-byte pieces, and the sequencer's output does not depend on how
// a run of frames is cut, so the bytes equal those of one aligned request.
void RenderMisaligned(Player& player, uint8_t* buffer, uint32_t size) {
    alignas(int16_t) uint8_t scratch[kScratchBytes];
    const uint32_t whole = size - size % kBytesPerFrame;
    for (uint32_t done = 0; done < whole;) {
        const uint32_t piece = std::min(kScratchBytes, whole - done);
        player.Render(scratch, piece);
        std::memcpy(buffer + done, scratch, piece);
        done += piece;
    }
}

}  // namespace

PluginHandle VELNARI_WINAPI Open(const char* fileName, SoundInfo* info) {
    if (fileName == nullptr) return nullptr;
    platform::WriteDebugString(fileName);
    try {
        auto player = std::make_unique<Player>();
        if (!player->Open(fileName, info)) return nullptr;
        return player.release();
    } catch (...) {
        return nullptr;
    }
}

void VELNARI_WINAPI Close(PluginHandle handle) {
    delete PlayerOf(handle);
}

uint32_t VELNARI_WINAPI Render(PluginHandle handle, uint8_t* buffer, uint32_t size) {
    if (handle == nullptr || buffer == nullptr) return 0;
    try {
        Player& player = *PlayerOf(handle);
        if (reinterpret_cast<uintptr_t>(buffer) % alignof(int16_t) != 0) {
            RenderMisaligned(player, buffer, size);
            return size;
        }
        return player.Render(buffer, size);
    } catch (...) {
        return 0;
    }
}

uint32_t VELNARI_WINAPI SetPosition(PluginHandle handle, uint32_t position) {
    if (handle == nullptr) return 0;
    try {
        return PlayerOf(handle)->Seek(position);
    } catch (...) {
        // A seek that could not allocate leaves the old state; the host is
        // told that playback is at 0, as after a restart.
        return 0;
    }
}

}  // namespace plugin
