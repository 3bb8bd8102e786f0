#pragma once
// The plug-in's boundary with its host: the module record and the four entry
// points it lists. Each entry point is a thin wrapper around a Player (the
// handle is a pointer to one); it checks the handle and forwards.
//
// Deliberate choices at the boundary:
// - No exception ever leaves an entry point: a host written in another
//   language cannot unwind through us. Open turns one into a failed open,
//   SetPosition into its usual 0, Render into 0 bytes.
// - A null file name fails Open at once, without touching the SoundInfo.
// - A null buffer makes Render return 0 and write nothing.
// - A buffer at an odd address is filled through an aligned scratch block, so
//   the 16-bit samples are never written misaligned; the bytes are the same.

#include <cstdint>

#include "platform/CallingConvention.h"
#include "plugin/ModuleRecord.h"
#include "plugin/SoundInfo.h"

namespace plugin {

// The one static record; the same pointer on every call.
const ModuleRecord* GetModuleRecord();

// Writes the file name to the debugger output, creates a Player (which reads
// its volumes from the settings file) and opens the file with it. Returns the
// player as the handle, or null when the file cannot be opened or compiled or
// `info` is null; the SoundInfo is written even when loading then fails.
PluginHandle VELNARI_WINAPI Open(const char* fileName, SoundInfo* info);

// Destroys the player behind `handle`; null is ignored.
void VELNARI_WINAPI Close(PluginHandle handle);

// Fills `size` bytes of 16-bit stereo PCM and returns `size`. Only whole
// four-byte frames are written; the last one to three bytes of a size that is
// not a multiple of four are left as they were but counted. A null handle or
// buffer returns 0 and writes nothing.
uint32_t VELNARI_WINAPI Render(PluginHandle handle, uint8_t* buffer, uint32_t size);

// Restarts the piece from its beginning, whatever the position asked for
// (milliseconds), and returns 0: playback is at position 0. With
// "ExactSeek=1" in the settings file, plays the piece ahead to `position`
// instead and returns the position reached (see Player::Seek). A null handle
// returns 0.
uint32_t VELNARI_WINAPI SetPosition(PluginHandle handle, uint32_t position);

}  // namespace plugin
