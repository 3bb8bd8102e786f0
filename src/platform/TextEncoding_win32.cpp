#include "platform/TextEncoding.h"

#include <windows.h>

#include <climits>
#include <vector>

namespace platform {

bool ShiftJisToUtf8(std::string_view bytes, std::string& utf8) {
    if (bytes.empty()) {
        utf8.clear();
        return true;
    }
    if (bytes.size() > INT_MAX / 4) return false;
    const int length = static_cast<int>(bytes.size());
    const int wide =
        MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, bytes.data(), length, nullptr, 0);
    if (wide <= 0) return false;
    std::vector<wchar_t> text(static_cast<std::size_t>(wide));
    MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, bytes.data(), length, text.data(), wide);
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), wide, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return false;
    std::string out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), wide, out.data(), size, nullptr, nullptr);
    utf8 = std::move(out);
    return true;
}

}  // namespace platform
