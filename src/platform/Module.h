#pragma once
// Where the running module lives, and so where its settings file lies.
//
// The module is the plug-in DLL (or shared object) when the core library is
// loaded as a plug-in, and the executable when it is linked into a program
// such as the command-line player or a test.

#include <string>

namespace platform {

// Remembers the module handle that the DLL's process-attach hook receives.
// Not owned. Without a stored handle the executable's path is used. On
// systems without module handles the value is ignored.
void SetModuleHandle(void* handle);

// Full path of the module that contains this library: GetModuleFileNameA of
// the stored handle on Windows; elsewhere the shared object or executable
// that holds this code. Empty when it cannot be found.
std::string ModuleFilePath();

// The module's path with its extension replaced by ".ini" (a path without an
// extension gets ".ini" appended). Empty when the module path is unknown.
std::string SettingsPathForModule();

}  // namespace platform
