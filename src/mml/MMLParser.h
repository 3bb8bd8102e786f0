#pragma once
// Tarsel::MMLParser, the grammar of the "tarsel" MML dialect, in Boost.Spirit
// (classic). One parse of the start rule `mml_line` reads one source line (an
// envelope definition with its continuation lines counts as one) together
// with its line end, and calls the semantic actions of mml/Actions.h as its
// elements match. The grammar builds nothing itself; all state lives in the
// CompileContext it is bound to.
//
// How the rules read text:
// - Blanks (space, tab) are skipped before every element, and nothing else is.
//   Keywords and integers are contiguous; a name's characters are matched one
//   at a time, so blanks between them stay in the name.
// - Keywords, note letters and control letters ignore case (A-Z only).
// - Choice is ordered and committed: the line kinds are tried in a fixed
//   order, and once one has matched, a later failure fails the whole line.
// - Actions fire as soon as their element matches and are never undone.
// - Every repetition is a Kleene star, so long lines and many commands cost
//   no stack depth.

#include "mml/SpiritClassic.h"

#include <cstdint>

#include "mml/Actions.h"
#include "mml/CompileContext.h"
#include "mml/ParserPrimitives.h"
#include "song/CommandTable.h"

namespace Tarsel {

class MMLParser : public boost::spirit::classic::grammar<MMLParser> {
  public:
    // The context must outlive the grammar; every action is bound to it.
    explicit MMLParser(CompileContext& context) : context(context) {}

    CompileContext& context;

    template <typename ScannerT>
    struct definition {
        explicit definition(const MMLParser& self);

        const boost::spirit::classic::rule<ScannerT>& start() const { return mml_line; }

        // Lines.
        boost::spirit::classic::rule<ScannerT> mml_line, part_line, ignored_line, sound_line,
            lfo_line, op_line, ssgenv_line, macro_line, tag_line, empty_line, comment, line_end;
        // Part-line commands.
        boost::spirit::classic::rule<ScannerT> mml_command, note, accidental, control, call,
            argument_list, argument, identifier, integer;
        // Part-line commands of the extensions.
        boost::spirit::classic::rule<ScannerT> extension, loop_break, transposition, volume_step,
            extended;
        // Envelope lists.
        boost::spirit::classic::rule<ScannerT> envelope_list, envelope_item, envelope_separator;
    };
};

template <typename ScannerT>
MMLParser::definition<ScannerT>::definition(const MMLParser& self) {
    using namespace boost::spirit::classic;
    CompileContext* ctx = &self.context;

    // Rules carry no attribute, so an action on a rule is given the matched
    // text; int32_parser checks that the value fits 32 bits.
    const int_parser<int32_t> int32_parser;
    const chset<char> not_line_break = ~chset<char>("\r\n");

    integer = int32_parser;
    argument = ((integer >> !ch_p('.')) | ch_p('.'))[PushArg{ctx}];
    argument_list = argument >> *(!ch_p(',') >> argument) >> !ch_p(',');
    identifier = +chset_p("a-zA-Z0-9_");

    accidental = chset_p("+-");
    note = FoldedChar("a-g")[BeginCommand{ctx}] >>
           (accidental[PushArg{ctx}] | EmptyText(PushArg{ctx})) >>
           (argument | EmptyText(PushArg{ctx}));
    control = FoldedChar("h-z@{}<>&")[BeginCommand{ctx}] >> !argument_list;
    call = ch_p('$')[BeginCommand{ctx}] >> identifier[PushArg{ctx}] >> ch_p('$') >> !ch_p(',');
    // The extensions are spelled with characters that no plain line takes:
    // ":" after the part's own, "_" at a command's start (in a name it is a
    // name's character), "(" and ")". A "_" takes a number, "(" and ")" may.
    loop_break = ch_p(':')[BeginCommand{ctx}];
    transposition = (FoldedKeyword("__")[BeginTransposeStep{ctx}] | ch_p('_')[BeginCommand{ctx}]) >>
                    integer[PushArg{ctx}];
    volume_step = chset_p("()")[BeginCommand{ctx}] >> !integer[PushArg{ctx}];
    extension = loop_break | transposition | volume_step;
    // The extensions' commands: '!' and at once a letter, one alternative per
    // letter ("!tN" or "!tN,L": a tempo change, or a ramp to it over L ticks). A '!' before anything else stays a parse error.
    extended = lexeme_d[ch_p('!') >>
                        (FoldedChar("p")[BeginExtendedCommand<Extension::kSSGMix>{ctx}] |
                         FoldedChar("w")[BeginExtendedCommand<Extension::kNoisePeriod>{ctx}] |
                         FoldedChar("t")[BeginExtendedCommand<Extension::kTempoChange>{ctx}])] >>
               !argument_list;
    mml_command = note[ProcessNote{ctx}] | control[ProcessCtrl{ctx}] | call[ProcessCall{ctx}] |
                  extension[ProcessExtension{ctx}] | extended[ProcessExtendedCtrl{ctx}];

    part_line = (range_p('1', '6')[SetChNumber{ctx}] >> ch_p(':'))[BeginLine<kPartLine>{ctx}] >>
                *mml_command;
    ignored_line = FoldedKeyword("d:") >> lexeme_d[*not_line_break];
    sound_line = (FoldedKeyword("sound") >> ch_p(':'))[BeginLine<kSoundLine>{ctx}] >> !ch_p('@') >>
                 int32_parser[assign_a(ctx->soundNumber)];
    lfo_line = (FoldedKeyword("lfo") >> ch_p(':'))[BeginLine<kLfoLine>{ctx}] >>
               argument_list[ProcessLFO{ctx}];
    op_line = (FoldedKeyword("op") >> range_p('1', '4')[SetChNumber{ctx}] >>
               ch_p(':'))[BeginLine<kOpLine>{ctx}] >>
              argument_list[ProcessOP{ctx}];

    // A continuation is taken, and its line end counted, only when the next
    // line really begins with "->"; otherwise the line end is left to line_end.
    envelope_item = integer[PushArg{ctx}] | EmptyText(PushArg{ctx});
    envelope_separator = (eol_p >> str_p("->"))[Increment<int32_t>{&ctx->line}] | ch_p(',');
    envelope_list = envelope_item >> *(envelope_separator >> envelope_item);
    ssgenv_line = (FoldedKeyword("ssgenv") >> ch_p(':'))[BeginLine<kSSGEnvLine>{ctx}] >>
                  !ch_p('@') >> envelope_list[ProcessSSGEnv{ctx}];

    macro_line = (FoldedKeyword("str") >> ch_p(':'))[BeginLine<kMacroLine>{ctx}] >>
                 identifier[SetMacroName{ctx}] >> !ch_p('$') >> ch_p('=') >> *mml_command;
    // A tag's keyword stands alone ("#titles" is no tag); its text runs to
    // the line's end, ";" included.
    const chset<char> tag_text_char = ~chset<char>("\r\n\x1A");
    tag_line = (lexeme_d[(FoldedKeyword("#title") | FoldedKeyword("#composer") |
                          FoldedKeyword("#date") | FoldedKeyword("#notes")) >>
                         eps_p(blank_p | eol_p | end_p | ch_p('\x1A'))][BeginLine<kTagLine>{ctx}]
                        [PushArg{ctx}] >>
                lexeme_d[*tag_text_char][PushArg{ctx}])[ProcessTag{ctx}];
    empty_line = eps_p;

    comment = ch_p(';') >> lexeme_d[*not_line_break];
    line_end = eol_p[Increment<int32_t>{&ctx->line}] | end_p | ch_p('\x1A');
    mml_line = (part_line | ignored_line | sound_line | lfo_line | op_line | ssgenv_line |
                macro_line | tag_line | empty_line) >>
               !comment >> line_end;
}

// The outcome of parsing one line.
template <typename Iterator>
struct LineParse {
    bool hit;       // the line matched whole, its line end included
    Iterator stop;  // on a hit the start of the next line; on a miss the first
                    // non-blank character that the line could not take
};

// Parses one line at `first` with the blank skip; the loop over a file is the
// caller's (one call per line while first != last).
template <typename Iterator>
LineParse<Iterator> ParseLine(const Iterator& first, const Iterator& last,
                              const MMLParser& grammar) {
    using namespace boost::spirit::classic;
    const parse_info<Iterator> info = parse(first, last, grammar, blank_p);
    Iterator stop = info.stop;
    if (!info.hit) {
        while (stop != last && (*stop == ' ' || *stop == '\t')) ++stop;
    }
    return {info.hit, stop};
}

}  // namespace Tarsel
