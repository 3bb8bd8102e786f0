#include "platform/Profile.h"

#include <filesystem>
#include <fstream>
#include <string_view>

namespace platform {
namespace {

constexpr std::size_t kMaxValueLength = 255;  // a 256-character buffer with its NUL

std::string_view Trim(std::string_view s) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!s.empty() && blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && blank(s.back())) s.remove_suffix(1);
    return s;
}

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

std::string Limited(std::string_view s) {
    return std::string(s.substr(0, kMaxValueLength));
}

}  // namespace

std::string ReadProfileString(const std::string& file, const char* section, const char* key,
                              const char* defaultValue) {
    const std::string fallback = Limited(Trim(defaultValue ? defaultValue : ""));
    if (section == nullptr || key == nullptr) return fallback;

    // Only a regular file is read: opening a FIFO or a device could block for ever.
    std::error_code error;
    if (!std::filesystem::is_regular_file(file, error)) return fallback;
    std::ifstream in(file, std::ios::binary);
    if (!in) return fallback;

    bool inSection = false;
    bool sectionSeen = false;
    std::string raw;
    while (std::getline(in, raw)) {
        std::string_view line = Trim(raw);
        if (line.empty() || line.front() == ';') continue;
        if (line.front() == '[') {
            // Only the first section of the name counts: leaving it ends the search.
            if (sectionSeen) break;
            line.remove_prefix(1);
            const std::size_t close = line.find(']');
            if (close != std::string_view::npos) line = line.substr(0, close);
            inSection = SameName(Trim(line), section);
            sectionSeen = inSection;
            continue;
        }
        if (!inSection) continue;
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos) continue;
        if (!SameName(Trim(line.substr(0, eq)), key)) continue;
        std::string_view value = Trim(line.substr(eq + 1));
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
            value.back() == value.front()) {
            value = value.substr(1, value.size() - 2);
        }
        return Limited(value);
    }
    return fallback;
}

}  // namespace platform
