#include "song/Song.h"

#include <cassert>

std::size_t Song::Index(int part) {
    // Callers only pass 0..5: the grammar accepts the part digits 1 to 6 alone.
    assert(part >= 0 && part < kPartCount);
    return static_cast<std::size_t>(part);
}

void Song::AddToPart(int part, const Command& command) {
    const std::size_t i = Index(part);
    CommandList& list = parts_[i];
    if (!used_[i]) {
        list.emplace_back('{');
        list.emplace_back('}');
        used_[i] = true;
    }
    list.insert(std::prev(list.end()), command);
}

CommandList& Song::AddToMacro(const std::string& name, const Command& command) {
    auto [it, created] = macros_.try_emplace(name);
    CommandList& list = it->second;
    if (created) list.emplace_back('%');
    AppendToMacro(list, command);
    return list;
}

void Song::AppendToMacro(CommandList& macro, const Command& command) {
    macro.insert(std::prev(macro.end()), command);
}

CommandList::const_iterator Song::MacroBegin(const std::string& name) const {
    const auto it = macros_.find(name);
    assert(it != macros_.end());
    return it->second.begin();
}
