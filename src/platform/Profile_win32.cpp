#include "platform/Profile.h"

#include <windows.h>

namespace platform {

std::string ReadProfileString(const std::string& file, const char* section, const char* key,
                              const char* defaultValue) {
    char value[256] = {};
    GetPrivateProfileStringA(section, key, defaultValue, value, sizeof value, file.c_str());
    return value;
}

}  // namespace platform
