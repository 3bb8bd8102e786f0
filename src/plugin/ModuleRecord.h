#pragma once
// The record a media-player host reads from the plug-in: versions, two lines
// of text for the host's plug-in list, the file extensions the plug-in plays
// and the addresses of its entry points. The plug-in hands out one static,
// read-only instance (kmp_GetTestModule); the host never writes to it.
//
// The layout is the host's: thirteen consecutive fields, integers as unsigned
// 32-bit and everything else as pointers, so on 32-bit Windows every field is
// four bytes and the record 52. The entry points use the Windows API calling
// convention.

#include <cstddef>
#include <cstdint>

#include "platform/CallingConvention.h"
#include "plugin/SoundInfo.h"

// What the host holds for one open file: an opaque pointer, null on failure.
using PluginHandle = void*;

// The entry points' types, as the host calls them.
using ModuleHookFunction = void(VELNARI_WINAPI*)();
// Opens a file by its ANSI path; fills the host's SoundInfo.
using OpenFunction = PluginHandle(VELNARI_WINAPI*)(const char* fileName, SoundInfo* info);
// Opens a file held in memory (never offered by this plug-in).
using OpenFromBufferFunction = PluginHandle(VELNARI_WINAPI*)(const uint8_t* buffer, uint32_t size,
                                                             SoundInfo* info);
using CloseFunction = void(VELNARI_WINAPI*)(PluginHandle handle);
// Fills `size` bytes of PCM; returns the bytes counted as filled.
using RenderFunction = uint32_t(VELNARI_WINAPI*)(PluginHandle handle, uint8_t* buffer,
                                                 uint32_t size);
// Seeks to a position in milliseconds; returns the position reached.
using SetPositionFunction = uint32_t(VELNARI_WINAPI*)(PluginHandle handle, uint32_t position);

struct ModuleRecord {
    uint32_t version;                       // version of the record's layout: 100
    uint32_t pluginVersion;                 // this plug-in's own version
    const char* copyright;                  // one line, NUL-terminated ANSI
    const char* description;                // one line, NUL-terminated ANSI
    const char* const* extensions;          // ".mml", ".tarsel", then a null pointer
    uint32_t reentrant;                     // 1: several handles may be open at once
    ModuleHookFunction init;                // null: nothing to set up per process
    ModuleHookFunction deinit;              // null: nothing to tear down
    OpenFunction open;                      //
    OpenFromBufferFunction openFromBuffer;  // null: files only
    CloseFunction close;                    //
    RenderFunction render;                  //
    SetPositionFunction setPosition;        //
};

inline constexpr uint32_t kModuleRecordVersion = 100;

// On a 32-bit target the host reads thirteen four-byte fields.
static_assert(sizeof(void*) != 4 || sizeof(ModuleRecord) == 52,
              "the host reads thirteen 32-bit fields");
static_assert(sizeof(void*) != 4 || offsetof(ModuleRecord, setPosition) == 48,
              "SetPosition is the thirteenth field");
static_assert(sizeof(void*) != 4 || offsetof(ModuleRecord, reentrant) == 20,
              "the reentrant flag is the sixth field");
