#include "plugin/ModuleRecord.h"

#include <array>
#include <cstddef>
#include <string_view>

#include "plugin/EntryPoints.h"
#include "velnari/Version.h"

namespace plugin {

namespace {

// Zero-terminated text joined at compile time, so the record stays constant
// data with the version in its lines.
template <std::size_t... Size>
constexpr auto Join(const char (&... parts)[Size]) {
    std::array<char, (Size + ...) - sizeof...(Size) + 1> joined{};
    std::size_t at = 0;
    for (std::string_view part : {std::string_view(parts, Size - 1)...}) {
        for (char c : part) joined[at++] = c;
    }
    return joined;
}

constexpr auto kCopyright =
    Join("velnari ", velnari::kVersion, " - Copyright (C) 2026 the velnari developers");
constexpr auto kDescription =
    Join("velnari ", velnari::kVersion, ": MML (tarsel dialect) on a YM2203 FM/SSG model");
const char* const kExtensions[] = {".mml", ".tarsel", nullptr};

constexpr uint32_t kPluginVersion = 1;

const ModuleRecord kRecord = {
    kModuleRecordVersion,
    kPluginVersion,
    kCopyright.data(),
    kDescription.data(),
    kExtensions,
    1,  // reentrant: every handle has its own player
    nullptr,
    nullptr,
    &Open,
    nullptr,
    &Close,
    &Render,
    &SetPosition,
};

}  // namespace

const ModuleRecord* GetModuleRecord() {
    return &kRecord;
}

}  // namespace plugin
