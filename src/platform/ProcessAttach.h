#pragma once
// What a Windows DLL does when a process loads it: remember its own module
// handle (the settings file is found from the module's path) and turn off the
// thread attach/detach notifications it has no use for. Windows only; the
// DLL's entry point calls it.

namespace platform {

// The loader's reason code for "the process has just loaded the DLL".
inline constexpr unsigned long kProcessAttachReason = 1;

// Stores `module` (the DLL's HMODULE) and disables thread notifications.
void OnProcessAttach(void* module);

}  // namespace platform
