#include "song/Song.h"

#include <cassert>

#include "song/CommandTable.h"

namespace song {

std::size_t Song::Index(int part) {
    // Callers only pass 0..5: the grammar accepts the part digits 1 to 6 alone.
    assert(part >= 0 && part < kPartCount);
    return static_cast<std::size_t>(part);
}

Command& Song::AddToPart(int part, const Command& command) {
    const std::size_t i = Index(part);
    CommandList& list = parts_[i];
    if (!used_[i]) {
        list.emplace_back(code::kLoopOpen);
        list.emplace_back(code::kLoopClose);
        used_[i] = true;
    }
    return *list.insert(std::prev(list.end()), command);
}

CommandList& Song::AddToMacro(const std::string& name, const Command& command) {
    auto [it, created] = macros_.try_emplace(name);
    CommandList& list = it->second;
    if (created) list.emplace_back(code::kReturn);
    AppendToMacro(list, command);
    return list;
}

Command& Song::AppendToMacro(CommandList& macro, const Command& command) {
    return *macro.insert(std::prev(macro.end()), command);
}

CommandList::const_iterator Song::MacroBegin(const std::string& name) const {
    const auto it = macros_.find(name);
    assert(it != macros_.end());
    return it->second.begin();
}

const FMVoice& Song::GetVoice(int32_t number) const {
    static const FMVoice kDefault{};
    const auto it = voices_.find(number);
    return it != voices_.end() ? it->second : kDefault;
}

const SSGEnvelope& Song::GetSSGEnvelope(int32_t number) const {
    static const SSGEnvelope kDefault{};
    const auto it = ssgEnvelopes_.find(number);
    return it != ssgEnvelopes_.end() ? it->second : kDefault;
}

}  // namespace song
