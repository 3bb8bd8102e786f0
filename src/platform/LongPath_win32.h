#pragma once
// ANSI paths of MAX_PATH characters or more, for the wide file functions.
// Included by the Windows sources of this folder only.
//
// The ANSI file functions refuse such paths (they convert the name through a
// buffer of MAX_PATH characters), but a host may hand one over: a song deep
// in nested folders. The wide functions take them in the \\?\ form.

#include <windows.h>

#include <string>

namespace platform {

inline bool IsLongPath(const char* path) {
    return path != nullptr && std::char_traits<char>::length(path) >= MAX_PATH;
}

// `path`, converted from the ANSI code page as the ANSI file functions would,
// made absolute and given the \\?\ prefix (\\?\UNC\ for a share). Empty when
// it cannot be converted.
inline std::wstring ExtendedLengthPath(const char* path) {
    const int length = MultiByteToWideChar(CP_ACP, 0, path, -1, nullptr, 0);
    if (length <= 0) return {};
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, path, -1, wide.data(), length);
    const DWORD needed = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (needed == 0) return {};
    std::wstring full(needed, L'\0');
    const DWORD written = GetFullPathNameW(wide.c_str(), needed, full.data(), nullptr);
    if (written == 0 || written >= needed) return {};
    full.resize(written);
    if (full.rfind(L"\\\\?\\", 0) == 0 || full.rfind(L"\\\\.\\", 0) == 0) return full;
    if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

}  // namespace platform
