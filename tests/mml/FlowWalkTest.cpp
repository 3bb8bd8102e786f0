// The warnings pass follows each part as the sequencer plays it: for every
// example and test song, for songs whose flow is tangled and for random
// songs of flow commands, the commands the warnings pass reaches are the
// ones the sequencer executes, in the same order. The pass may stop sooner
// (after two passes of a part's loop, at a recursive call), never later and
// never elsewhere.

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "fm/OPN.h"
#include "mml/Compile.h"
#include "mml/PartWalk.h"
#include "mml/SourceLines.h"
#include "platform/WholeFile.h"
#include "sequencer/Sequencer.h"
#include "song/Song.h"

namespace {

namespace fs = std::filesystem;

struct Trace : sequencer::CommandObserver {
    std::array<std::vector<const song::Command*>, song::kPartCount> reached;
    void Reached(int part, const song::Command& cmd) override { reached[part].push_back(&cmd); }
};

struct FlowCase {
    std::string name;
    std::string source;
    bool mustCompile = true;  // the test folders hold faulty songs and fuzzer inputs too
};

// Macros and parts of random flow commands, notes, rests and waits.
std::string RandomSong(uint32_t seed) {
    static const char* const
        kWords[] = {"c", "d8", "e16", "f2",  "r",   "r16", "w8", "l16", "l2",
                    "&", "o3", "<",   ">",   "v9",  "{",   "{2", "{3",  "{0",
                    "}", "}",  "$a$", "$b$", "$c$", "$x$", ":"};  // a loop break: macros only (on a
                                                                  // part line outside any loop it
                                                                  // is a fault)
    std::mt19937 rng(seed);
    const auto line = [&](int words, std::size_t choices) {
        std::string text;
        for (int i = 0; i < words; ++i) text += std::string(" ") + kWords[rng() % choices];
        return text + "\n";
    };
    std::string song;
    for (const char* name : {"a", "b", "c"})
        song += std::string("str:") + name + " =" + line(1 + rng() % 6, std::size(kWords));
    for (int part = 1; part <= 6; ++part)
        song += std::to_string(part) + ":" + line(rng() % 20, std::size(kWords) - 1);
    return song;
}

std::vector<FlowCase> Songs() {
    std::vector<FlowCase> songs = {
        // A macro's "}" going back to a loop outside it, pass after pass.
        {"left calls", "str:end = c8 }\n1: {3 d8 $end$ e4\n"},
        {"nested macros and loops",
         "str:a = c16 $b$ d16\nstr:b = {2 e16 f16}\n1: l16 $a$ {3 g $b$} $nothere$ a\n"},
        {"brackets that end parts", "1: {2 c {3 d }} e\n2: c } d\n3: {3 c d\n"},
        {"a recursive macro", "str:r = c $r$\n4: o4 $r$\n"},
        {"a loop without time", "1: c { v1 } d\n4: {2 v1 } c\n"},
        {"a macro run off its end", "str:m = c { d\n5: $m$ e\n"},
        // Loop breaks: in the loop's own list, in a macro, leaving an inner
        // loop, a macro and a loop of no passes on the way out.
        {"loop breaks",
         "str:m = d : e\nstr:n = f {9 g } }\n1: {3 c : d} {2 c $m$ f} {0 g : a}\n"
         "2: {3 c {2 d : e} : f}\n3: {2 c : $n$ a\n"},
    };
    for (uint32_t seed = 0; seed < 4000; ++seed) {
        songs.push_back({"random song " + std::to_string(seed), RandomSong(seed)});
    }
    const fs::path root(VELNARI_SOURCE_DIR);
    for (const fs::path& folder : {root / "examples", root / "tests"}) {
        for (const auto& entry : fs::recursive_directory_iterator(folder)) {
            if (entry.path().extension() != ".mml") continue;
            std::string bytes;
            if (!platform::ReadWholeFile(entry.path().string().c_str(), bytes)) continue;
            songs.push_back({fs::relative(entry.path(), root).string(), bytes,
                             folder.filename() == "examples"});
        }
    }
    return songs;
}

TEST(FlowWalk, WarningsReachWhatTheSequencerPlays) {
    const std::vector<FlowCase> songs = Songs();
    for (const FlowCase& c : songs) {
        const Tarsel::CompileResult compiled = Tarsel::Compile(c.source, c.name);
        if (!compiled.song) {
            EXPECT_FALSE(c.mustCompile) << c.name;
            continue;
        }
        const song::Song& song = *compiled.song;

        Trace walked;
        Tarsel::WarningSink sink;
        const Tarsel::SourceLines lines(c.source);
        Tarsel::WalkParts(song, Tarsel::CommandPlaces(lines), sink, &walked);

        Trace played;
        FM::OPN chip;
        sequencer::Sequencer seq(&chip, &song);
        ASSERT_TRUE(seq.Init(44100));
        seq.SetCommandObserver(&played);
        const auto behind = [&] {
            for (int part = 0; part < song::kPartCount; ++part) {
                if (seq.IsActive(part) && played.reached[part].size() < walked.reached[part].size())
                    return true;
            }
            return false;
        };
        while (behind() && seq.CurrentTick() < 4'000'000) seq.Tick();

        for (int part = 0; part < song::kPartCount; ++part) {
            const auto& w = walked.reached[part];
            const auto& p = played.reached[part];
            EXPECT_EQ(w.empty(), p.empty()) << c.name << ", part " << part + 1;
            ASSERT_LE(w.size(), p.size()) << c.name << ", part " << part + 1;
            for (std::size_t i = 0; i < w.size(); ++i) {
                ASSERT_EQ(w[i], p[i])
                    << c.name << ", part " << part + 1 << ", command " << i << " ('" << w[i]->code
                    << "' walked, '" << p[i]->code << "' played)";
            }
        }
    }
}

}  // namespace
