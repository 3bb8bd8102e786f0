#include "platform/Module.h"

// A page has no module file and no settings file beside it: the web front end
// passes its volumes in directly.

namespace platform {

void SetModuleHandle(void*) {}

std::string ModuleFilePath() {
    return {};
}

std::string SettingsPathForModule() {
    return {};
}

}  // namespace platform
