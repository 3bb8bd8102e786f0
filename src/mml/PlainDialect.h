#pragma once
// The check of the plain dialect: every use of an extension of the language,
// placed in its line and said for a person, for composers whose songs must
// stay playable by other players of the dialect (`check --plain`, the web
// page's plain switch). Each one is an error there; a compile does not mind.

#include <cstdint>
#include <string>
#include <vector>

#include "mml/Extension.h"
#include "mml/SourceLines.h"

namespace Tarsel {

struct PlainDialectFault {
    Extension kind = Extension::kTag;
    int32_t line = 0;    // 1-based; 0 when the use's place is not known
    int32_t column = 0;  // 1-based byte column
    int32_t length = 0;  // bytes of the use, within the line
    std::string text;    // one sentence, UTF-8, without file name or position
};

// What the extension is, in a few words ("a loop break").
std::string_view ExtensionMeaning(Extension kind);

// The uses that a compile of `lines`' text noted, in their order.
std::vector<PlainDialectFault> PlainDialectFaults(const SourceLines& lines,
                                                  const std::vector<ExtensionUse>& uses);

}  // namespace Tarsel
