// The grammar alone: which actions fire, in what order and with what text, and
// where a line that cannot be read stops.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "MmlTestSupport.h"

using Tarsel::ProcessCtrl;
using Tarsel::ProcessNote;

namespace {

using mmltest::RunGrammar;
using Calls = std::vector<std::string>;

// The calls a part line makes after its leading "1:".
Calls CommandCalls(const std::string& commands) {
    const mmltest::GrammarRun run = RunGrammar("1:" + commands);
    // A bad length throws only after the observer has seen the command whole.
    EXPECT_TRUE(run.hit || !run.exception.empty()) << commands << " stopped at " << run.rest;
    EXPECT_GE(run.calls.size(), 2u);
    if (run.calls.size() < 2) return {};
    EXPECT_EQ(run.calls[0], "SetChNumber(1)");
    EXPECT_EQ(run.calls[1], "BeginLine(1:)");
    return Calls(run.calls.begin() + 2, run.calls.end());
}

struct CommandCase {
    std::string source;
    Calls calls;
};

class CommandActions : public ::testing::TestWithParam<CommandCase> {};

TEST_P(CommandActions, FireInSourceOrderWithTheMatchedText) {
    EXPECT_EQ(CommandCalls(GetParam().source), GetParam().calls);
}

INSTANTIATE_TEST_SUITE_P(
    PartLine, CommandActions,
    ::testing::Values(
        CommandCase{"C+8.", {"BeginCommand(c)", "PushArg(+)", "PushArg(8.)", "ProcessNote(C+8.)"}},
        CommandCase{"e", {"BeginCommand(e)", "PushArg()", "PushArg()", "ProcessNote(e)"}},
        CommandCase{"g.", {"BeginCommand(g)", "PushArg()", "PushArg(.)", "ProcessNote(g.)"}},
        CommandCase{"L8", {"BeginCommand(l)", "PushArg(8)", "ProcessCtrl(L8)"}},
        CommandCase{"y10,20",
                    {"BeginCommand(y)", "PushArg(10)", "PushArg(20)", "ProcessCtrl(y10,20)"}},
        CommandCase{"&", {"BeginCommand(&)", "ProcessCtrl(&)"}},
        CommandCase{"$intro$", {"BeginCommand($)", "PushArg(intro)", "ProcessCall($intro$)"}},
        // A second sign belongs to the length; a lone sign is no length.
        CommandCase{"d--4", {"BeginCommand(d)", "PushArg(-)", "PushArg(-4)", "ProcessNote(d--4)"}},
        CommandCase{"d-", {"BeginCommand(d)", "PushArg(-)", "PushArg()", "ProcessNote(d-)"}},
        // A control takes every argument that follows, split by commas, blanks
        // or a dot; blanks inside an argument stay in its text.
        CommandCase{"l8 16",
                    {"BeginCommand(l)", "PushArg(8)", "PushArg(16)", "ProcessCtrl(l8 16)"}},
        CommandCase{"v10.20",
                    {"BeginCommand(v)", "PushArg(10.)", "PushArg(20)", "ProcessCtrl(v10.20)"}},
        CommandCase{"l4 .", {"BeginCommand(l)", "PushArg(4 .)", "ProcessCtrl(l4 .)"}},
        CommandCase{"o4e",
                    {"BeginCommand(o)", "PushArg(4)", "ProcessCtrl(o4)", "BeginCommand(e)",
                     "PushArg()", "PushArg()", "ProcessNote(e)"}},
        // Names are read across blanks; a comma after a call is eaten.
        CommandCase{"$a b$", {"BeginCommand($)", "PushArg(a b)", "ProcessCall($a b$)"}},
        CommandCase{"$a$,$b$",
                    {"BeginCommand($)", "PushArg(a)", "ProcessCall($a$,)", "BeginCommand($)",
                     "PushArg(b)", "ProcessCall($b$)"}},
        // A trailing comma is eaten by the argument list; "&" takes no argument.
        CommandCase{"y10,", {"BeginCommand(y)", "PushArg(10)", "ProcessCtrl(y10,)"}},
        CommandCase{"r4&r4",
                    {"BeginCommand(r)", "PushArg(4)", "ProcessCtrl(r4)", "BeginCommand(&)",
                     "ProcessCtrl(&)", "BeginCommand(r)", "PushArg(4)", "ProcessCtrl(r4)"}},
        CommandCase{"d+-4", {"BeginCommand(d)", "PushArg(+)", "PushArg(-4)", "ProcessNote(d+-4)"}},
        // The extensions: "__" is one command, "(" and ")" may go without a count.
        CommandCase{"{_-3__5(:)2",
                    {"BeginCommand({)", "ProcessCtrl({)", "BeginCommand(_)", "PushArg(-3)",
                     "ProcessCtrl(_-3)", "BeginCommand(_)", "PushArg(5)", "ProcessCtrl(__5)",
                     "BeginCommand(()", "ProcessCtrl(()", "BeginCommand(:)", "ProcessCtrl(:)",
                     "BeginCommand())", "PushArg(2)", "ProcessCtrl()2)"}},
        CommandCase{"  c  d ; rest",
                    {"BeginCommand(c)", "PushArg()", "PushArg()", "ProcessNote(c)",
                     "BeginCommand(d)", "PushArg()", "PushArg()", "ProcessNote(d)"}}));

struct LineCase {
    std::string source;
    Calls calls;
};

class DefinitionActions : public ::testing::TestWithParam<LineCase> {};

TEST_P(DefinitionActions, FireInSourceOrderWithTheMatchedText) {
    const mmltest::GrammarRun run = RunGrammar(GetParam().source);
    EXPECT_TRUE(run.hit) << "stopped at " << run.rest;
    EXPECT_EQ(run.calls, GetParam().calls);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, DefinitionActions,
    ::testing::Values(
        LineCase{" 2 : e",
                 {"SetChNumber(2)", "BeginLine(2 :)", "BeginCommand(e)", "PushArg()", "PushArg()",
                  "ProcessNote(e)"}},
        LineCase{"3:", {"SetChNumber(3)", "BeginLine(3:)"}},
        LineCase{"op2: 31,5,0,7,2,30,0,1,3,0",
                 {"SetChNumber(2)", "BeginLine(op2:)", "PushArg(31)", "PushArg(5)", "PushArg(0)",
                  "PushArg(7)", "PushArg(2)", "PushArg(30)", "PushArg(0)", "PushArg(1)",
                  "PushArg(3)", "PushArg(0)", "ProcessOP(31,5,0,7,2,30,0,1,3,0)"}},
        LineCase{"OP3:1 2 3",
                 {"SetChNumber(3)", "BeginLine(OP3:)", "PushArg(1)", "PushArg(2)", "PushArg(3)",
                  "ProcessOP(1 2 3)"}},
        LineCase{"lfo: 0,1,2,3,4",
                 {"BeginLine(lfo:)", "PushArg(0)", "PushArg(1)", "PushArg(2)", "PushArg(3)",
                  "PushArg(4)", "ProcessLFO(0,1,2,3,4)"}},
        LineCase{"ssgenv:@1,10,,20",
                 {"BeginLine(ssgenv:)", "PushArg(1)", "PushArg(10)", "PushArg()", "PushArg(20)",
                  "ProcessSSGEnv(1,10,,20)"}},
        LineCase{"SSGENV : @ 1 , 2",
                 {"BeginLine(SSGENV :)", "PushArg(1)", "PushArg(2)", "ProcessSSGEnv(1 , 2)"}},
        LineCase{"ssgenv:", {"BeginLine(ssgenv:)", "PushArg()", "ProcessSSGEnv()"}},
        // Every separator is followed by an item, empty where no integer stands.
        LineCase{"ssgenv:1,\n->,\n->3",
                 {"BeginLine(ssgenv:)", "PushArg(1)", "PushArg()", "PushArg()", "PushArg()",
                  "PushArg(3)", "ProcessSSGEnv(1,\n->,\n->3)"}},
        LineCase{
            "op3:1.2",
            {"SetChNumber(3)", "BeginLine(op3:)", "PushArg(1.)", "PushArg(2)", "ProcessOP(1.2)"}},
        // An ignored line runs to the line end, a Ctrl-Z byte included.
        LineCase{"d:x\x1A"
                 "1:c",
                 {}},
        LineCase{"ssgenv:10,\n  -> 20",
                 {"BeginLine(ssgenv:)", "PushArg(10)", "PushArg()", "PushArg(20)",
                  "ProcessSSGEnv(10,\n  -> 20)"}},
        LineCase{
            "str:tune$=c4e",
            {"BeginLine(str:)", "SetMacroName(tune)", "BeginCommand(c)", "PushArg()", "PushArg(4)",
             "ProcessNote(c4)", "BeginCommand(e)", "PushArg()", "PushArg()", "ProcessNote(e)"}},
        LineCase{"Str: my tune = c",
                 {"BeginLine(Str:)", "SetMacroName(my tune)", "BeginCommand(c)", "PushArg()",
                  "PushArg()", "ProcessNote(c)"}},
        LineCase{"str:1=", {"BeginLine(str:)", "SetMacroName(1)"}},
        LineCase{"D: anything ; 1:c", {}},
        LineCase{"   ; just a comment \x83\x47 \x1A still comment", {}}, LineCase{"", {}}));

TEST(SoundLine, StoresItsNumberWhateverTheCaseAndSpacing) {
    for (const char* source : {"sound:@3", "SOUND:@3", "Sound:3", "sound : @ 3", "sound:+3"}) {
        const mmltest::GrammarRun run = RunGrammar(source);
        EXPECT_TRUE(run.hit) << source;
        EXPECT_EQ(run.calls.size(), 1u) << source;
        EXPECT_EQ(run.soundNumber, 3) << source;
    }
    EXPECT_EQ(RunGrammar("sound:-1").soundNumber, -1);
    EXPECT_EQ(RunGrammar("sound:-2147483648").soundNumber, -2147483648LL);
}

struct StopCase {
    std::string source;
    std::string rest;  // the text from the stop position on
};

class StopPosition : public ::testing::TestWithParam<StopCase> {};

TEST_P(StopPosition, IsTheFirstNonBlankCharacterTheLineCouldNotTake) {
    const mmltest::GrammarRun run = RunGrammar(GetParam().source);
    EXPECT_FALSE(run.hit);
    EXPECT_EQ(run.rest, GetParam().rest);
}

INSTANTIATE_TEST_SUITE_P(
    FailingLines, StopPosition,
    ::testing::Values(
        // After what a part line took.
        StopCase{"1: d e # f", "# f"}, StopCase{"1:e#", "#"}, StopCase{"1: e $ab", "$ab"},
        StopCase{"1:k- 2", "- 2"}, StopCase{"1:d4 8", "8"}, StopCase{"1:d4..", "."},
        StopCase{"1:y10,,20", ",20"}, StopCase{"1:c,d", ",d"}, StopCase{"1:c|", "|"},
        StopCase{"1:c \f", "\f"}, StopCase{"1:c _ _3", "_ _3"}, StopCase{"1:_c", "_c"},
        // A number beyond 32 bits is no integer: stop at its sign, else its first digit.
        StopCase{"1:e99999999999", "99999999999"}, StopCase{"1:e2147483648", "2147483648"},
        StopCase{"1:v-2147483649", "-2147483649"}, StopCase{"1:d+-99999999999", "-99999999999"},
        // After what a definition line took.
        StopCase{"sound:3 4", "4"}, StopCase{"ssgenv:@0 1", "1"}, StopCase{"ssgenv:1.5", ".5"},
        StopCase{"ssgenv:1,99999999999", "99999999999"}, StopCase{"lfo:1 2 $", "$"},
        StopCase{"d:x\n1:c!", "!"}, StopCase{"1: c4 ! d", "! d"}, StopCase{"1:! p2", "! p2"},
        StopCase{"1:!q", "!q"}, StopCase{"1:!!p", "!!p"},
        // No line kind matched: the line's first non-blank character.
        StopCase{"7: d", "7: d"}, StopCase{"  0:c", "0:c"}, StopCase{"1x", "1x"},
        StopCase{"sound:", "sound:"}, StopCase{"sound:@", "sound:@"},
        StopCase{"sound:x", "sound:x"}, StopCase{"s ound:1", "s ound:1"},
        StopCase{"op5:1", "op5:1"}, StopCase{"op1:", "op1:"}, StopCase{"lfo:", "lfo:"},
        StopCase{"str:=c", "str:=c"}, StopCase{"str:abc c", "str:abc c"}, StopCase{"d :x", "d :x"},
        StopCase{"\xEF\xBB\xBF"
                 "1:c",
                 "\xEF\xBB\xBF"
                 "1:c"},
        StopCase{"\t#", "#"},
        // Only the tag keywords, whole and at a line's start, begin a tag line.
        StopCase{"#titles x", "#titles x"}, StopCase{"# title x", "# title x"},
        StopCase{"#author x", "#author x"}, StopCase{"1: c #title x", "#title x"},
        StopCase{std::string("\0"
                             "1:c",
                             4),
                 std::string("\0"
                             "1:c",
                             4)},
        // A comment or a blank line ends an envelope list; "->" cannot continue it.
        StopCase{"ssgenv:@0,1 ; note\n-> 2", "-> 2"}, StopCase{"ssgenv:1,2\n\n-> 3", "-> 3"}));

TEST(StopPosition, ActionsBeforeTheFailureHaveFired) {
    EXPECT_EQ(RunGrammar("1x").calls, (Calls{"SetChNumber(1)"}));
    const mmltest::GrammarRun noteThenHash = RunGrammar("1:e#");
    ASSERT_FALSE(noteThenHash.calls.empty());
    EXPECT_EQ(noteThenHash.calls.back(), "ProcessNote(e)");
    EXPECT_EQ(RunGrammar("op1:").calls, (Calls{"SetChNumber(1)", "BeginLine(op1:)"}));
}

struct CountCase {
    std::string source;
    int32_t lines;  // the line counter once the text is parsed
};

class LineCounter : public ::testing::TestWithParam<CountCase> {};

TEST_P(LineCounter, CountsEachLineEndOnce) {
    const mmltest::GrammarRun run = RunGrammar(GetParam().source);
    EXPECT_TRUE(run.hit) << "stopped at " << run.rest;
    EXPECT_EQ(run.line, GetParam().lines);
}

INSTANTIATE_TEST_SUITE_P(
    LineEnds, LineCounter,
    ::testing::Values(CountCase{"1:c", 1}, CountCase{"1:c\r\n", 2}, CountCase{"1:c\r\n2:d\r\n", 3},
                      CountCase{"1:c\r2:d\r", 3}, CountCase{"1:c\n\n", 3}, CountCase{"\n\r", 3},
                      CountCase{"\r \n", 3}, CountCase{"1:c\r\n\x1A", 2},
                      CountCase{"1:c\x1A"
                                "2:d\n",
                                2},
                      CountCase{"; a \x1A in a comment\n", 2}, CountCase{"   \t ", 1},
                      CountCase{"ssgenv:1,2\n-> 3,4\n  -> 5\n", 4},
                      CountCase{"ssgenv:1,2\r\n->3\r\n1:c\r\n", 4},
                      CountCase{"ssgenv:1\n2:c\n", 3}));

TEST(LineCounter, AnErrorAfterAContinuedEnvelopeReportsItsOwnLine) {
    const mmltest::GrammarRun run = RunGrammar("1:c\nssgenv:1,2\n-> 3\n-> 4\n1:!");
    EXPECT_FALSE(run.hit);
    EXPECT_EQ(run.rest, "!");
    EXPECT_EQ(run.line, 5);
}

}  // namespace
