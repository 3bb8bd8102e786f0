#include <windows.h>

#include <string>
#include <utility>

#include "platform/DynamicLibrary.h"

namespace platform {

namespace {

// The text of a Windows error code, without the trailing line end that
// FormatMessageA adds.
std::string ErrorText(DWORD code) {
    char buffer[512] = {};
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, code, 0, buffer, sizeof buffer, nullptr);
    std::string text(buffer, length);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    if (text.empty()) text = "error " + std::to_string(code);
    return text;
}

}  // namespace

DynamicLibrary::DynamicLibrary(const std::string& path) {
    handle_ = LoadLibraryA(path.c_str());
    if (handle_ == nullptr) error_ = ErrorText(GetLastError());
}

DynamicLibrary::Function DynamicLibrary::Find(const char* name) {
    if (handle_ == nullptr) return nullptr;
    FARPROC procedure = GetProcAddress(static_cast<HMODULE>(handle_), name);
    if (procedure == nullptr) {
        error_ = ErrorText(GetLastError());
        return nullptr;
    }
    return reinterpret_cast<Function>(procedure);
}

void DynamicLibrary::Unload() {
    if (handle_ != nullptr) FreeLibrary(static_cast<HMODULE>(handle_));
    handle_ = nullptr;
}

}  // namespace platform
