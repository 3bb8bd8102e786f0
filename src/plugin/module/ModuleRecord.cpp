#include "plugin/ModuleRecord.h"

#include "plugin/EntryPoints.h"

namespace plugin {

namespace {

const char kCopyright[] = "velnari 1.0 - Copyright (C) 2026 the velnari developers";
const char kDescription[] = "velnari: MML (tarsel dialect) on a YM2203 FM/SSG model";
const char* const kExtensions[] = {".mml", ".tarsel", nullptr};

constexpr uint32_t kPluginVersion = 1;

const ModuleRecord kRecord = {
    kModuleRecordVersion,
    kPluginVersion,
    kCopyright,
    kDescription,
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
