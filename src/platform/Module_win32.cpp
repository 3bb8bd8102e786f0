#include "platform/Module.h"

#include <windows.h>
// windows.h must come first.
#include <shlwapi.h>

namespace platform {
namespace {
HMODULE g_module = nullptr;
}  // namespace

void SetModuleHandle(void* handle) {
    g_module = static_cast<HMODULE>(handle);
}

std::string ModuleFilePath() {
    char path[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameA(g_module, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return {};
    return path;
}

std::string SettingsPathForModule() {
    char path[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameA(g_module, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return {};
    PathRemoveExtensionA(path);
    if (!PathAddExtensionA(path, ".ini")) return {};
    return path;
}

}  // namespace platform
