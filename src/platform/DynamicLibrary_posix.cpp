#include <dlfcn.h>

#include <utility>

#include "platform/DynamicLibrary.h"

namespace platform {

namespace {

std::string LastDlError(const char* fallback) {
    const char* text = dlerror();
    return text != nullptr ? text : fallback;
}

}  // namespace

DynamicLibrary::DynamicLibrary(const std::string& path) {
    // RTLD_LOCAL keeps the library's symbols out of the global scope, as a
    // host that loads several plug-ins must; RTLD_NOW reports a missing symbol
    // here rather than at the first call.
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) error_ = LastDlError("cannot load library");
}

DynamicLibrary::Function DynamicLibrary::Find(const char* name) {
    if (handle_ == nullptr) return nullptr;
    dlerror();
    void* symbol = dlsym(handle_, name);
    if (symbol == nullptr) {
        error_ = LastDlError("symbol not found");
        return nullptr;
    }
    // POSIX guarantees that a function's address survives this conversion.
    return reinterpret_cast<Function>(symbol);
}

void DynamicLibrary::Unload() {
    if (handle_ != nullptr) dlclose(handle_);
    handle_ = nullptr;
}

}  // namespace platform
