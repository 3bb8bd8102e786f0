#include "mml/PlainDialect.h"

#include "mml/Readable.h"

namespace Tarsel {

std::string_view ExtensionMeaning(Extension kind) {
    switch (kind) {
        case Extension::kSSGMix:
            return "SSG tone and noise";
        case Extension::kNoisePeriod:
            return "the noise period";
        case Extension::kTempoChange:
            return "a tempo change";
        case Extension::kLoopBreak:
            return "a loop break";
        case Extension::kTranspose:
            return "transposition";
        case Extension::kVolumeStep:
            return "a relative volume";
        case Extension::kTag:
            return "a tag line";
    }
    return "an extension";
}

std::vector<PlainDialectFault> PlainDialectFaults(const SourceLines& lines,
                                                  const std::vector<ExtensionUse>& uses) {
    std::vector<PlainDialectFault> faults;
    faults.reserve(uses.size());
    const std::string_view text = lines.Text();
    for (const ExtensionUse& use : uses) {
        const SourcePlace place = lines.PlaceOf(use.offset, use.length);
        std::string_view written;
        if (use.offset <= text.size()) written = text.substr(use.offset, use.length);
        std::string sentence = "'";
        sentence += Readable(written, 40);
        sentence += "' is an extension of the language (";
        sentence += ExtensionMeaning(use.kind);
        sentence += "): players of the plain dialect refuse it";
        faults.push_back({use.kind, place.line, place.column, place.length, std::move(sentence)});
    }
    return faults;
}

}  // namespace Tarsel
