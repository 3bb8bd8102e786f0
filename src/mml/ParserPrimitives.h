#pragma once
// Parser primitives of the grammar that Spirit does not offer as needed.
// Case folding changes only the letters A to Z, whatever locale the host
// process runs in, so bytes 0x80-0xFF (such as Shift-JIS text) are never
// taken for letters.

#include "mml/SpiritClassic.h"

#include <array>
#include <cstddef>
#include <string_view>

namespace Tarsel {

constexpr char FoldAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// One character of a set, tested after folding. The set is written like a
// character class: single characters and ranges "x-y" ("h-z@{}<>&"). The
// attribute, and what an attached action receives, is the folded character.
class FoldedChar : public boost::spirit::classic::parser<FoldedChar> {
  public:
    using self_t = FoldedChar;

    template <typename ScannerT>
    struct result {
        using type = typename boost::spirit::classic::match_result<ScannerT, char>::type;
    };

    constexpr explicit FoldedChar(std::string_view set) {
        for (std::size_t i = 0; i < set.size(); ++i) {
            if (i + 2 < set.size() && set[i + 1] == '-') {
                for (std::size_t c = Index(set[i]); c <= Index(set[i + 2]); ++c) members_[c] = true;
                i += 2;
            } else {
                members_[Index(set[i])] = true;
            }
        }
    }

    template <typename ScannerT>
    typename boost::spirit::classic::parser_result<self_t, ScannerT>::type parse(
        const ScannerT& scan) const {
        if (!scan.at_end()) {  // at_end runs the blank skip first
            const char c = FoldAscii(*scan.first);
            if (members_[Index(c)]) {
                typename ScannerT::iterator_t save(scan.first);
                ++scan.first;
                return scan.create_match(1, c, save, scan.first);
            }
        }
        return scan.no_match();
    }

  private:
    static constexpr std::size_t Index(char c) { return static_cast<unsigned char>(c); }

    std::array<bool, 256> members_{};
};

// A keyword matched whole and contiguous (no blanks inside), each input
// character folded before the comparison. The keyword is given in lower case.
class FoldedKeyword : public boost::spirit::classic::parser<FoldedKeyword> {
  public:
    using self_t = FoldedKeyword;

    constexpr explicit FoldedKeyword(std::string_view keyword) : keyword_(keyword) {}

    template <typename ScannerT>
    typename boost::spirit::classic::parser_result<self_t, ScannerT>::type parse(
        const ScannerT& scan) const {
        if (scan.at_end()) return scan.no_match();
        typename ScannerT::iterator_t save(scan.first);
        for (const char k : keyword_) {
            if (scan.first == scan.last || FoldAscii(*scan.first) != k) {
                scan.first = save;
                return scan.no_match();
            }
            ++scan.first;
        }
        return scan.create_match(keyword_.size(), boost::spirit::classic::nil_t(), save,
                                 scan.first);
    }

  private:
    std::string_view keyword_;
};

// Matches the empty string where it stands and hands the empty text to an
// action, without the blank skip that Spirit's own actions run first: the
// "nothing" choice of an optional argument, so that blanks after a command
// are not counted into its text.
template <typename Action>
class EmptyText : public boost::spirit::classic::parser<EmptyText<Action>> {
  public:
    using self_t = EmptyText<Action>;

    explicit EmptyText(Action action) : action_(action) {}

    template <typename ScannerT>
    typename boost::spirit::classic::parser_result<self_t, ScannerT>::type parse(
        const ScannerT& scan) const {
        action_(scan.first, scan.first);
        return scan.empty_match();
    }

  private:
    Action action_;
};

}  // namespace Tarsel
