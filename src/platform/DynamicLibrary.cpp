// The parts of a loaded library's lifetime that do not depend on the system:
// loading, look-up and unloading are in the _posix and _win32 files.
#include "platform/DynamicLibrary.h"

#include <utility>

namespace platform {

DynamicLibrary::~DynamicLibrary() {
    Unload();
}

DynamicLibrary::DynamicLibrary(DynamicLibrary&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)), error_(std::move(other.error_)) {}

DynamicLibrary& DynamicLibrary::operator=(DynamicLibrary&& other) noexcept {
    if (this != &other) {
        Unload();
        handle_ = std::exchange(other.handle_, nullptr);
        error_ = std::move(other.error_);
    }
    return *this;
}

}  // namespace platform
