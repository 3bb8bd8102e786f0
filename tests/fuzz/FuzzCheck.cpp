// Reporting broken invariants, and naming the stored input being replayed.

#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>

#include "FuzzTargets.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VELNARI_HAS_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define VELNARI_HAS_ASAN 1
#endif
#ifdef VELNARI_HAS_ASAN
#include <sanitizer/common_interface_defs.h>
#endif

namespace fuzz {
namespace {

std::string& CurrentInput() {
    static std::string name;
    return name;
}

void PrintCurrentInput() {
    if (!CurrentInput().empty()) {
        std::fprintf(stderr, "while replaying %s\n", CurrentInput().c_str());
        std::fflush(stderr);
    }
}

}  // namespace

void SetCurrentInput(std::string name) {
    CurrentInput() = std::move(name);
#ifdef VELNARI_HAS_ASAN
    static const bool hooked = [] {
        __sanitizer_set_death_callback(PrintCurrentInput);
        return true;
    }();
    (void)hooked;
#endif
}

void CheckFailed(const char* condition, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: fuzz invariant broken: %s\n", file, line, condition);
    PrintCurrentInput();
    std::fflush(stderr);
    std::abort();
}

}  // namespace fuzz
