#include "platform/TextEncoding.h"

#include <iconv.h>

#include <cerrno>
#include <vector>

namespace platform {

bool ShiftJisToUtf8(std::string_view bytes, std::string& utf8) {
    iconv_t decoder = iconv_open("UTF-8", "CP932");
    if (decoder == reinterpret_cast<iconv_t>(-1)) decoder = iconv_open("UTF-8", "SHIFT_JIS");
    if (decoder == reinterpret_cast<iconv_t>(-1)) return false;
    // One Shift-JIS byte never becomes more than three UTF-8 bytes.
    std::vector<char> out(bytes.size() * 3 + 4);
    std::vector<char> in(bytes.begin(), bytes.end());
    char* inPtr = in.data();
    std::size_t inLeft = in.size();
    char* outPtr = out.data();
    std::size_t outLeft = out.size();
    const std::size_t converted = iconv(decoder, &inPtr, &inLeft, &outPtr, &outLeft);
    iconv_close(decoder);
    if (converted == static_cast<std::size_t>(-1) || inLeft != 0) return false;
    utf8.assign(out.data(), out.size() - outLeft);
    return true;
}

}  // namespace platform
