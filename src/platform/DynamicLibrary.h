#pragma once
// A shared library loaded at run time by path, as a media-player host loads a
// plug-in: LoadLibraryA / GetProcAddress / FreeLibrary on Windows, dlopen /
// dlsym / dlclose elsewhere. The object owns the loaded library and unloads it
// when destroyed; it can be moved but not copied.

#include <string>

namespace platform {

class DynamicLibrary {
  public:
    // Any exported function, to be cast to its real type by the caller.
    using Function = void (*)();

    // Loads the library at `path`. On failure IsLoaded() is false and Error()
    // says why, in the operating system's words.
    explicit DynamicLibrary(const std::string& path);
    ~DynamicLibrary();

    DynamicLibrary(DynamicLibrary&& other) noexcept;
    DynamicLibrary& operator=(DynamicLibrary&& other) noexcept;
    DynamicLibrary(const DynamicLibrary&) = delete;
    DynamicLibrary& operator=(const DynamicLibrary&) = delete;

    bool IsLoaded() const { return handle_ != nullptr; }
    const std::string& Error() const { return error_; }

    // The exported function called `name` (the plain, undecorated export
    // name), or null when the library has none or is not loaded; then Error()
    // says why.
    Function Find(const char* name);

  private:
    void Unload();

    void* handle_ = nullptr;  // HMODULE or dlopen handle
    std::string error_;
};

}  // namespace platform
