// A song's notes as the program lists them (info --notes --json) and writes
// them (render -o song.mid), checked against what is heard: each listed
// pitch against the frequency measured in a render of its part alone, and
// the MIDI file, read back by an independent reader (Debian's python3-mido),
// against the list.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "CliTestSupport.h"
#include "engine/Engine.h"
#include "mml/Compile.h"
#include "options/PartSelection.h"
#include "sequencer/FMController.h"

using clitest::Quote;
using clitest::RunResult;
using clitest::RunVelnari;
using clitest::ScratchDir;
using nlohmann::json;

namespace {

std::string Example(const std::string& name) {
    return std::string(VELNARI_SOURCE_DIR) + "/examples/" + name;
}

json NotesOf(const ScratchDir& dir, const std::string& song) {
    const RunResult run = RunVelnari(dir, "info " + Quote(song) + " --notes --json");
    EXPECT_EQ(run.status, 0) << run.err;
    return json::parse(run.out);
}

// The frequency of `x` near `hertz` (within half an octave either way), from
// the lag of its highest autocorrelation, refined over ever more periods, as
// many as the window holds.
double MeasureFrequency(const std::vector<double>& x, double rate, double hertz) {
    const auto correlation = [&x](int64_t lag) {
        double xy = 0.0, xx = 0.0, yy = 0.0;
        for (std::size_t n = 0; n + static_cast<std::size_t>(lag) < x.size(); ++n) {
            const double a = x[n], b = x[n + static_cast<std::size_t>(lag)];
            xy += a * b;
            xx += a * a;
            yy += b * b;
        }
        return xx > 0.0 && yy > 0.0 ? xy / std::sqrt(xx * yy) : 0.0;
    };
    // The best lag in [low, high], refined between its neighbours.
    const auto peak = [&correlation](int64_t low, int64_t high) {
        int64_t best = low;
        double bestValue = -2.0;
        for (int64_t lag = low; lag <= high; ++lag) {
            const double value = correlation(lag);
            if (value > bestValue) bestValue = value, best = lag;
        }
        const double l = correlation(best - 1), c = bestValue, r = correlation(best + 1);
        const double bend = l - 2 * c + r;
        return static_cast<double>(best) + (bend < 0.0 ? 0.5 * (l - r) / bend : 0.0);
    };
    const double period = rate / hertz;
    double estimate = peak(static_cast<int64_t>(period / std::sqrt(2.0)),
                           static_cast<int64_t>(period * std::sqrt(2.0)) + 1);
    // The peak near twice as many periods each time, half a period either side.
    for (int64_t periods = 2; estimate * periods < x.size() / 2.0; periods *= 2) {
        const double around = estimate * static_cast<double>(periods);
        estimate = peak(std::llround(around - estimate / 2), std::llround(around + estimate / 2)) /
                   static_cast<double>(periods);
    }
    return rate / estimate;
}

// Voice `number` sounds at the note's frequency: every carrier has MUL 1 and
// no DT (and, on FM 3, no ratio of its own).
bool PlainCarriers(const song::Song& song, int part, int32_t number) {
    using sequencer::FMController;
    const song::FMVoice& voice = song.GetVoice(number);
    for (int op = 0; op < 4; ++op) {
        if (!FMController::CARRIER_TABLE[voice.fbAlg & 7][FMController::OPERATOR_SLOT[op]])
            continue;
        if (voice.op[op].dtMul != 1) return false;
        if (part == 2 && voice.op[op].ratio != 0) return false;
    }
    return true;
}

class ExampleNotes : public testing::TestWithParam<const char*> {};

// Each note of a quarter or longer, without vibrato or portamento (a note
// with bends), on a voice whose carriers have MUL 1, sounds at its key and
// cents within 5 cents in a render of its part alone.
TEST_P(ExampleNotes, ListedPitchIsThePitchHeard) {
    ScratchDir dir;
    const json list = NotesOf(dir, Example(GetParam()));
    const Tarsel::FileCompileResult compiled = Tarsel::CompileFile(Example(GetParam()));
    ASSERT_TRUE(compiled.song);
    const auto rate = list["rate"].get<uint32_t>();
    const int64_t frames =
        static_cast<int64_t>(std::ceil(list["seconds"].get<double>() * rate)) + 1;

    std::map<int, std::vector<double>> alone;  // part (1..6) -> its samples
    int measured = 0, excluded = 0;
    for (const json& note : list["notes"]) {
        const int part = note["part"];
        const int64_t ticks = note["ticks"];
        const bool fm = part <= 3;
        if (ticks < 16 || !note["bends"].empty() || note["volume"] == 0 ||
            (fm && !PlainCarriers(*compiled.song, part - 1, note["voice"]))) {
            ++excluded;
            continue;
        }
        std::vector<double>& samples = alone[part];
        if (samples.empty()) {
            const cli::PartSelection::PartBits only = cli::PartSelection::PartBits{1} << (part - 1);
            engine::Engine engine(
                compiled.song, rate, {},
                cli::PartSelection::ChipMaskMuting(cli::PartSelection::kAllParts & ~only));
            std::vector<int16_t> stereo(static_cast<std::size_t>(frames) * 2);
            engine.Render(stereo.data(), static_cast<int32_t>(frames));
            for (int64_t f = 0; f < frames; ++f) samples.push_back(stereo[2 * f]);
        }
        // FM: the steady middle of the note, past its attack and before any
        // key-off; SSG (no attack, but an envelope may fade it): its start.
        const double start = note["time"], seconds = note["seconds"];
        const auto from = static_cast<std::size_t>((start + (fm ? seconds / 4 : 0.0)) * rate);
        const auto to = static_cast<std::size_t>((start + (fm ? seconds / 2 : seconds / 4)) * rate);
        const std::vector<double> window(samples.begin() + static_cast<std::ptrdiff_t>(from),
                                         samples.begin() + static_cast<std::ptrdiff_t>(to));
        double power = 0.0;
        for (double v : window) power += v * v;
        if (std::sqrt(power / static_cast<double>(window.size())) < 30.0) {
            ++excluded;  // faded out by its envelope
            continue;
        }
        const double hertz = MeasureFrequency(window, rate, note["hertz"]);
        const double exact = 69.0 + 12.0 * std::log2(hertz / 440.0);
        const double listed = note["key"].get<double>() + note["cents"].get<double>() / 100.0;
        EXPECT_NEAR(exact * 100.0, listed * 100.0, 5.0)
            << "part " << part << " tick " << note["tick"] << ": measured " << hertz << " Hz";
        ++measured;
    }
    // percussion.mml has no note to measure: its drums are hits shorter
    // than a quarter, falling by portamento, or on FM 3's inharmonic ratios.
    const std::map<std::string, int> least = {
        {"demo.mml", 40}, {"festival.mml", 40}, {"clockwork.mml", 40}, {"percussion.mml", 0}};
    EXPECT_GE(measured, least.at(GetParam())) << excluded << " notes excluded";
}

// The MIDI file that render writes, as python3-mido reads it: a track per
// part with the notes of info --notes at their ticks (a tie on one key is one
// note), and tempo events that give the listed length within one tick.
TEST_P(ExampleNotes, MidiFileHoldsTheListedNotes) {
    ScratchDir dir;
    const json list = NotesOf(dir, Example(GetParam()));
    // With a title of its own, which names the first track.
    const std::string title = std::string("Title of ") + GetParam();
    std::ofstream(dir / "titled.mml") << "#title " << title << "\n"
                                      << clitest::ReadFile(Example(GetParam()));
    const RunResult render = RunVelnari(dir, "render titled.mml -o song.mid");
    ASSERT_EQ(render.status, 0) << render.err;
    {
        std::ofstream script(dir / "read.py");
        script << "import json, mido\n"
                  "m = mido.MidiFile('song.mid')\n"
                  "tracks = []\n"
                  "for t in m.tracks[1:]:\n"
                  "    at, on, notes = 0, {}, []\n"
                  "    for e in t:\n"
                  "        at += e.time\n"
                  "        if e.type == 'note_on' and e.velocity > 0: on[e.note] = at\n"
                  "        elif e.type in ('note_on', 'note_off') and e.note in on:\n"
                  "            notes.append([on.pop(e.note), at - 0, e.note])\n"
                  "    tracks.append({'name': t.name, 'notes': sorted(notes)})\n"
                  "print(json.dumps({'type': m.type, 'division': m.ticks_per_beat,\n"
                  "                  'title': m.tracks[0].name,\n"
                  "                  'length': m.length, 'tracks': tracks}))\n";
    }
    const RunResult read = RunVelnari(dir, "read.py", "", "/usr/bin/python3");
    ASSERT_EQ(read.status, 0) << read.err;
    const json midi = json::parse(read.out);
    EXPECT_EQ(midi["type"], 1);
    EXPECT_EQ(midi["division"], 16);
    EXPECT_EQ(midi["title"], title);

    // The list's notes per part as [start, end, key], ties on one key joined.
    std::map<std::string, std::vector<std::vector<int64_t>>> expected;
    std::map<std::string, bool> open;
    for (const json& note : list["notes"]) {
        auto& notes = expected[note["name"]];
        const int64_t tick = note["tick"], end = tick + note["ticks"].get<int64_t>();
        const int64_t key = note["key"];
        if (open[note["name"]] && notes.back()[2] == key) {
            notes.back()[1] = end;
        } else {
            notes.push_back({tick, end, key});
        }
        open[note["name"]] = note["tied"].get<bool>();
    }
    ASSERT_EQ(midi["tracks"].size(), expected.size());
    for (const json& track : midi["tracks"]) {
        std::vector<std::vector<int64_t>> notes = expected[track["name"]];
        std::sort(notes.begin(), notes.end());
        EXPECT_EQ(track["notes"].get<std::vector<std::vector<int64_t>>>(), notes) << track["name"];
    }
    const double tick = list["seconds"].get<double>() / list["endTick"].get<double>();
    EXPECT_NEAR(midi["length"].get<double>(), list["seconds"].get<double>(), tick);
}

INSTANTIATE_TEST_SUITE_P(Examples, ExampleNotes,
                         testing::Values("demo.mml", "festival.mml", "clockwork.mml",
                                         "percussion.mml"),
                         [](const testing::TestParamInfo<const char*>& info) {
                             return std::filesystem::path(info.param).stem().string();
                         });

// A song without notes lists none and gives a MIDI file with its tempo only;
// a register log has no notes to give and is refused by name.
TEST(NotesOfOddInput, NoNotesAndRegisterLogs) {
    ScratchDir dir;
    { std::ofstream(dir / "rests.mml") << "1: r4 r4\n"; }
    const json list = NotesOf(dir, "rests.mml");
    EXPECT_TRUE(list["notes"].empty());
    ASSERT_EQ(RunVelnari(dir, "render rests.mml -o rests.mid").status, 0);
    const std::string bytes = clitest::ReadFile(dir / "rests.mid");
    EXPECT_EQ(bytes.substr(10, 2), std::string("\x00\x01", 2)) << "one track";
    EXPECT_NE(bytes.find("\xFF\x51\x03", 0), std::string::npos) << "its tempo";

    ASSERT_EQ(RunVelnari(dir, "render rests.mml -o rests.vgm").status, 0);
    for (const char* command : {"info rests.vgm --notes", "render rests.vgm -o x.mid"}) {
        const RunResult refused = RunVelnari(dir, command);
        EXPECT_EQ(refused.status, 2) << command;
        EXPECT_NE(refused.err.find("register log"), std::string::npos) << refused.err;
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "x.mid"));
}

}  // namespace
