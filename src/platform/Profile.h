#pragma once
// Reading one value from an INI-style settings file.

#include <string>

namespace platform {

// Value of `key` in `section` of the settings file `file`, or `defaultValue`
// when the file, the section or the key is missing. Behaves like
// GetPrivateProfileStringA with a 256-character buffer (it is that call on
// Windows):
//   - section and key names compare case-insensitively;
//   - the first matching section and, within it, the first matching key win;
//   - blanks around names and values are dropped, and a value enclosed in a
//     pair of matching quotes (' or ") loses them;
//   - lines starting with ';' are comments;
//   - the result holds at most 255 characters.
std::string ReadProfileString(const std::string& file, const char* section, const char* key,
                              const char* defaultValue);

}  // namespace platform
