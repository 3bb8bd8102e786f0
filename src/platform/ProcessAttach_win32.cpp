#include "platform/ProcessAttach.h"

#include <windows.h>

#include "platform/Module.h"

namespace platform {

static_assert(kProcessAttachReason == DLL_PROCESS_ATTACH);

void OnProcessAttach(void* module) {
    DisableThreadLibraryCalls(static_cast<HMODULE>(module));
    SetModuleHandle(module);
}

}  // namespace platform
