// libFuzzer entry for one target; the build names it with VELNARI_FUZZ_ENTRY.

#include "FuzzTargets.h"

#ifndef VELNARI_FUZZ_ENTRY
#error "VELNARI_FUZZ_ENTRY must name the target function"
#endif

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    return fuzz::VELNARI_FUZZ_ENTRY(data, size);
}
