// The warnings pass: each mistake that compiles cleanly but plays wrong is
// found at its place, nothing else is, and the example songs give none.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "mml/Readable.h"
#include "mml/Warnings.h"
#include "platform/WholeFile.h"

namespace {

// A complete voice 1, appended after each case's own lines so that those keep
// their line numbers.
const char* const kVoice1 =
    "sound:@1\nlfo:0,0,0,4,5\n"
    "op1:31,0,0,7,0,20,0,1,0,0\nop2:31,0,0,7,0,20,0,1,0,0\n"
    "op3:31,0,0,7,0,20,0,1,0,0\nop4:31,0,0,7,0,20,0,1,0,0\n";

struct WarningCase {
    std::string source;
    std::vector<std::string> found;  // "LINE:COLUMN kind", in order
    std::string mentions = "";       // a fact the first warning's text must state
    std::string underline = "";      // the text the first warning is about, when given
};

// The bytes a warning is about: `length` of them from its line and column.
std::string Underlined(const std::string& source, const Tarsel::Warning& w) {
    std::size_t at = 0;
    for (int32_t line = 1; line < w.line; ++line) at = source.find('\n', at) + 1;
    return source.substr(at + static_cast<std::size_t>(w.column) - 1,
                         static_cast<std::size_t>(w.length));
}

class Warnings : public testing::TestWithParam<WarningCase> {};

TEST_P(Warnings, AreFoundAtTheirPlaceAndNothingElseIs) {
    const std::vector<Tarsel::Warning> warnings =
        Tarsel::FindWarnings(GetParam().source + kVoice1, "FILE");
    std::vector<std::string> found;
    for (const Tarsel::Warning& w : warnings) {
        found.push_back(std::to_string(w.line) + ":" + std::to_string(w.column) + " " +
                        std::string(Tarsel::KindName(w.kind)));
    }
    EXPECT_EQ(found, GetParam().found) << GetParam().source;
    if (!GetParam().mentions.empty() && !warnings.empty()) {
        EXPECT_NE(warnings[0].text.find(GetParam().mentions), std::string::npos)
            << warnings[0].text;
    }
    if (!GetParam().underline.empty() && !warnings.empty()) {
        EXPECT_EQ(Underlined(GetParam().source, warnings[0]), GetParam().underline);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Mistakes, Warnings,
    testing::Values(
        // Selected, called or written but never defined.
        WarningCase{"1: @1 @2 c\n", {"1:7 undefined-voice"}},
        WarningCase{"1: c @1 d\n", {"1:4 undefined-voice"}},
        WarningCase{"4: @5 c\n", {"1:4 undefined-envelope"}},
        WarningCase{
            "1: @1 $a$ $A$c\nstr:a=d\n", {"1:11 undefined-macro"}, "did you mean 'a'", "$A$"},
        WarningCase{"sound:@2\nlfo:0,0,0,4\n1: @1 c\n",
                    {"1:1 definition", "2:5 definition"},
                    "no op1, op2, op3, op4 line"},
        WarningCase{"ssgenv:@0,1\nssgenv:@0,1,15\nssgenv:@0,2,15\n4: @0 c\n",
                    {"1:9 definition", "3:9 definition"}},
        // Values the player clamps, wraps or reads as something else.
        WarningCase{"1: @1 v-1 c v16 c4.\n",
                    {"1:7 value-out-of-range", "1:13 value-out-of-range"},
                    "plays as v0"},
        WarningCase{
            "op1:31,0,0,0,0,128,0,1,0,0\n1: @1 c0 d--4\n",
            {"1:16 value-out-of-range", "2:8 value-out-of-range", "2:10 value-out-of-range"},
            "so it is 0"},
        WarningCase{"lfo:0,0,0,4,5,1\n1: @1 c\n",
                    {"1:15 definition"},
                    "the 1 value from here on is ignored"},
        WarningCase{
            "ssgenv:@0,1,15,-1\n4: @0 c\n", {"1:16 negative-envelope-level"}, "full volume"},
        WarningCase{"1: @1 v12,3 l16.. h c\n",
                    {"1:7 ignored-command", "1:13 ignored-command", "1:19 ignored-command"}},
        WarningCase{"1: @1 c y7,1 y300,1\n",
                    {"1:9 register", "1:14 register"},
                    "lasts only while every SSG part holds a sounding note"},
        WarningCase{
            "1: @1 y76,127 c1\n4: y0,5 c\n", {"1:7 register", "2:4 register"}, "every tick"},
        WarningCase{"1: @1 c++4 o8 > c v+2 o+1 c\n",
                    {"1:7 value-out-of-range", "1:15 value-out-of-range", "1:19 value-out-of-range",
                     "1:23 value-out-of-range"},
                    "a double sharp plays as a single one",
                    "c++4"},
        WarningCase{"1: @1 i60,4,8 p4 c1\n", {"1:15 ignored-command"}, "switches off the vibrato"},
        // Loops, ties and what is never reached.
        WarningCase{"1: @1 c } d\n", {"1:9 loop"}, "starts again from its beginning"},
        WarningCase{"1: @1 {3 c d\n2: @1 { c\n", {"1:7 loop", "2:7 loop"}, "the part stops"},
        WarningCase{"1: @1 r { c } d\n", {"1:15 unreachable"}},
        WarningCase{"1: @1 c & r & d\n", {"1:9 tie", "1:13 tie"}, "before a rest"},
        WarningCase{"1: @1 $x$\nstr:x=c $x$\n", {"2:9 recursive-macro"}},
        // Loop breaks that are never taken.
        WarningCase{"1: @1 {0 c : d}\nstr:m = c :\n2: @1 $m$ {3 c $m$ : d}\n",
                    {"1:12 loop", "2:11 loop", "3:20 loop"},
                    "the loop has no last pass"},
        // Transpositions and volume steps that reach the end of their range.
        WarningCase{"1: @1 _200 __10 o1 c )2 c\n",
                    {"1:7 value-out-of-range", "1:12 value-out-of-range", "1:20 value-out-of-range",
                     "1:22 value-out-of-range", "1:25 value-out-of-range"},
                    "it plays as _96"},
        // A "}" that leaves a macro for a loop outside it is no recursion, but
        // each pass of the part nests deeper until the part stops.
        WarningCase{
            "str:end = c8 }\n1: @1 {3 d8 $end$ e4\n", {"1:14 loop"}, "leaves 2 more calls pending"},
        // The song as a whole and each part in playing order.
        WarningCase{
            "1: @1 t150 c\n2: @1 t150 c t90\n", {"1:7 tempo", "2:7 tempo"}, "t90 on line 2"},
        // A tempo change in a macro reached only through a macro no part calls.
        WarningCase{"str:rit = !t60,32 $end$\nstr:end = !t40\nstr:on = !t90\n1: @1 $on$ c\n",
                    {"1:11 tempo", "2:11 tempo"},
                    "no part calls macro 'rit'",
                    "!t60,32"},
        WarningCase{"1: @1 s0 c\n4: m100 @0 c\nssgenv:@0,1,15\n",
                    {"1:7 wrong-part", "2:9 wrong-part"}},
        WarningCase{"5: v9\n", {"1:4 silent"}}, WarningCase{"; no part line\n", {"0:0 silent"}},
        // A value outside the range the command table gives: clamped, or its low bits.
        WarningCase{"4: m70000 o9 c\n",
                    {"1:4 value-out-of-range", "1:11 value-out-of-range"},
                    "(0-65535): only the low 16 bits count, 4464"},
        // The SSG's lowest tone, reached by a detune (on the second pass also
        // by the note before it) or by the low half of a vibrato.
        WarningCase{"4: o1 c1 n-510 c1\n",
                    {"1:7 ssg-pitch-range", "1:16 ssg-pitch-range"},
                    "4283 is cut to 12 bits, 187, a high tone (667 Hz)"},
        WarningCase{"4: o1 i400,1 c2 i400,40 c2\n", {"1:14 ssg-pitch-range"}},
        WarningCase{"4: o1 < e1 b1\n", {"1:9 ssg-pitch-range"}, "octave higher than written"},
        // An octave that drifts pass by pass; the hardware envelope under rests.
        WarningCase{"4: l4 c e g >c\n", {"1:13 value-out-of-range"}, "by pass 4"},
        WarningCase{"4: m400 s8 v15 o4 l4 c r1\n", {"1:24 hardware-envelope"}},
        // One envelope for all SSG parts: a change under another part's note
        // counts, two values at different times do not.
        WarningCase{"5: m1800 l8 s0 o2 a4\n6: m240 l8 s0 o7 c\n",
                    {"1:19 hardware-envelope"},
                    "part 6's m240 (line 2)"},
        WarningCase{"5: m1800 s0 o2 a4 r2\n6: r2 m240 s0 o7 c4\n", {}},
        // One noise generator: another part's '!w' under a noise note counts.
        WarningCase{"4: !w5 !p2 c4 r4\n5: r8 !w20 r8 r2\n6: !p3 c2\n",
                    {"1:12 noise"},
                    "part 5's !w20 (line 2)"},
        WarningCase{"4: !w5 !p2 c4 r4\n5: r4 !w20 !p2 c4\n", {}},
        // Under '!p0' a rest takes the level to 0: no envelope sounds on through it.
        WarningCase{"1: @1 !w3 !p1 c\n4: !p-1 m40 s8 c r\n",
                    {"1:7 wrong-part", "1:11 wrong-part", "2:4 value-out-of-range"},
                    "'!w' acts on the SSG parts"},

        // Tag lines: one given twice (flagged where it is replaced), a date
        // that is none; several notes lines are one text.
        WarningCase{"#title A\n#notes a\n#notes b\n#TITLE B\n#date 2026/02/30\n1: @1 c\n",
                    {"1:1 tag", "5:7 tag"},
                    "given again on line 4",
                    "#title A"}));

TEST(Warnings, NoneOnTheExampleSongsOrOnTextThatDoesNotCompile) {
    for (const auto& entry :
         std::filesystem::directory_iterator(std::string(VELNARI_SOURCE_DIR) + "/examples")) {
        std::string text;
        ASSERT_TRUE(platform::ReadWholeFile(entry.path().c_str(), text));
        for (const Tarsel::Warning& w : Tarsel::FindWarnings(text, "FILE")) {
            ADD_FAILURE() << entry.path().filename() << ":" << w.line << ":" << w.column << ": "
                          << w.text;
        }
    }
    EXPECT_TRUE(Tarsel::FindWarnings("1: v-1 c\n1: c !\n", "FILE").empty());
}

TEST(Readable, NamesWhatCannotBeSeenDecodesShiftJisAndCutsLongText) {
    struct Case {
        std::string bytes;
        std::string shown;
    };
    for (const Case& c : {
             Case{"# d\te\r\nnext", "# d[tab]e"},
             Case{"\xE3\x80\x80"
                  "e\x1F\xC2\xA0",
                  "[U+3000]e[U+001F][U+00A0]"},
             Case{"\xEF\xBD\x83\xEF\xBC\x94", "[full-width c][full-width 4]"},
             Case{"\x83\x47\x83\x89\x81\x5B!", "\xE3\x82\xA8\xE3\x83\xA9\xE3\x83\xBC!"},
             Case{"c\xFF", "c[0xFF]"},
             Case{std::string(61, 'a'), std::string(60, 'a') + "\xE2\x80\xA6"},
         }) {
        EXPECT_EQ(Tarsel::Readable(c.bytes), c.shown) << c.bytes;
    }
}

}  // namespace
