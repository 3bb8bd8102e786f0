// The module's one exported function. It lives in the module itself, not in a
// library, so the linker always keeps it; everything else the module holds is
// reached from the record it returns.

#include "platform/CallingConvention.h"
#include "plugin/EntryPoints.h"
#include "plugin/ModuleRecord.h"

extern "C" VELNARI_EXPORT const ModuleRecord* VELNARI_WINAPI kmp_GetTestModule() {
    return plugin::GetModuleRecord();
}
