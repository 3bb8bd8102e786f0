#include "mml/Readable.h"

#include "platform/TextEncoding.h"
#include "text/Display.h"

namespace Tarsel {

std::string Readable(std::string_view line, std::size_t maxCharacters) {
    return text::ShowLine(line, platform::ShiftJisToUtf8, maxCharacters);
}

}  // namespace Tarsel
