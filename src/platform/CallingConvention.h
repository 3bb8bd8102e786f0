#pragma once
// Calling convention and export markers for functions that cross the module
// boundary. A media-player host calls the plug-in with the Windows API
// convention, which on 32-bit Windows is __stdcall (callee pops its arguments);
// everywhere else the platform's one C convention applies and the macro is
// empty.
//
// Header-only and free of <windows.h>, so the plug-in and the host can name the
// convention without pulling in operating-system headers.

#if defined(_WIN32) && !defined(_WIN64)
#define VELNARI_WINAPI __stdcall
#else
#define VELNARI_WINAPI
#endif

// Marks a symbol that the module exports to its host. On Windows that is
// dllexport; on ELF the default visibility (the linker's version script then
// decides what stays global).
#if defined(_WIN32)
#define VELNARI_EXPORT __declspec(dllexport)
#else
#define VELNARI_EXPORT __attribute__((visibility("default")))
#endif
