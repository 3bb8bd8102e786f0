#include "mml/Readable.h"

#include "platform/TextEncoding.h"
#include "text/Display.h"

namespace Tarsel {

std::string Readable(std::string_view text, std::size_t maxCharacters) {
    return text::ShowLine(text, platform::ShiftJisToUtf8, maxCharacters);
}

}  // namespace Tarsel
