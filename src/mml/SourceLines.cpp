#include "mml/SourceLines.h"

#include <algorithm>

namespace Tarsel {

SourceLines::SourceLines(std::string_view text) : text_(text) {
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    lineStarts_.assign(
        1, text.substr(0, kByteOrderMark.size()) == kByteOrderMark ? kByteOrderMark.size() : 0);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\n' || (c == '\r' && (i + 1 == text.size() || text[i + 1] != '\n'))) {
            lineStarts_.push_back(i + 1);
        }
    }
}

SourcePlace SourceLines::PlaceOf(std::size_t offset, std::size_t length) const {
    if (offset > text_.size() || offset < lineStarts_.front()) return {};
    const auto next = std::upper_bound(lineStarts_.begin(), lineStarts_.end(), offset);
    const auto line = static_cast<std::size_t>(next - lineStarts_.begin());
    // A line holds no line-end byte but its own end: "\n", "\r" or "\r\n".
    std::size_t lineEnd = line < lineStarts_.size() ? lineStarts_[line] : text_.size();
    if (lineEnd > offset && text_[lineEnd - 1] == '\n') --lineEnd;
    if (lineEnd > offset && text_[lineEnd - 1] == '\r') --lineEnd;
    length = lineEnd > offset ? std::min(length, lineEnd - offset) : 0;
    return {static_cast<int32_t>(line), static_cast<int32_t>(offset - lineStarts_[line - 1] + 1),
            static_cast<int32_t>(length)};
}

}  // namespace Tarsel
