#include "CompileFaults.h"

#include <cstdio>
#include <string_view>

#include "platform/ErrorReporter.h"

namespace {

int shown = 0;

void PrintCompileFault(std::string_view, std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stderr);
    if (text.empty() || text.back() != '\n') std::fputc('\n', stderr);
    std::fflush(stderr);
    ++shown;
}

}  // namespace

void InstallCompileFaultPrinter() {
    platform::SetErrorReporter(&PrintCompileFault);
}

int CompileFaultsShown() {
    return shown;
}
