#pragma once
// Why a file could not be written, in words for the user: the system's reason
// for the failed call, with a full disk and a file-size limit said plainly.

#include <string>

namespace cli {

// The reason for `systemError` (an errno value); `fallback` when it is 0 (a
// library that failed without a system error).
std::string WriteFailure(int systemError, const std::string& fallback = "the write failed");

}  // namespace cli
