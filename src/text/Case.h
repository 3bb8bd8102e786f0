#pragma once
// Letter case for names the program compares without it (file extensions,
// macro names in suggestions): ASCII only, whatever the locale, so that a
// byte of a multibyte character is never changed.

#include <string>
#include <string_view>

namespace text {

constexpr char AsciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

inline std::string AsciiLower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = AsciiLower(c);
    return out;
}

}  // namespace text
