#include "platform/Module.h"

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>

namespace platform {
namespace {

// The executable's own path, independent of how the program was started.
std::string ExecutablePath() {
    char path[4096];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return {};
    return std::string(path, static_cast<std::size_t>(n));
}

// An absolute, symlink-free spelling of `path` when it exists.
std::string Canonical(const std::string& path) {
    std::unique_ptr<char, decltype(&std::free)> resolved(realpath(path.c_str(), nullptr),
                                                         &std::free);
    return resolved ? std::string(resolved.get()) : path;
}

}  // namespace

// Windows needs the handle to find the DLL; here the address of this code
// tells which object holds it.
void SetModuleHandle(void*) {}

std::string ModuleFilePath() {
    Dl_info info{};
    link_map* map = nullptr;
    const auto self = reinterpret_cast<void*>(&ModuleFilePath);
    if (dladdr1(self, &info, reinterpret_cast<void**>(&map), RTLD_DL_LINKMAP) == 0) {
        return ExecutablePath();
    }
    // The main program's link map has an empty name, and dladdr then reports
    // argv[0], which may be relative or a bare command name.
    if (map == nullptr || map->l_name == nullptr || map->l_name[0] == '\0') {
        return ExecutablePath();
    }
    return Canonical(map->l_name);
}

std::string SettingsPathForModule() {
    std::string path = ModuleFilePath();
    if (path.empty()) return {};
    // The extension is the last '.' of the file name, not of a folder name.
    const std::size_t slash = path.find_last_of('/');
    const std::size_t dot = path.find_last_of('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) {
        path.erase(dot);
    }
    return path + ".ini";
}

}  // namespace platform
