// The DLL's entry point, called by the Windows loader. Written with plain
// types (the Windows prototype is BOOL WINAPI DllMain(HINSTANCE, DWORD,
// LPVOID)) so that this file needs no operating-system header; the work is
// done in the platform layer.

#include "platform/CallingConvention.h"
#include "platform/ProcessAttach.h"

extern "C" int VELNARI_WINAPI DllMain(void* module, unsigned long reason, void* /*reserved*/) {
    if (reason == platform::kProcessAttachReason) platform::OnProcessAttach(module);
    return 1;  // success, for every reason
}
