// velnari voices through the program: the definitions it prints, compiled as
// a song, give back the voices a song played, for every example; voices of a
// log with two chips, named with their channels; a damaged log refused as
// info refuses it.

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "CliTestSupport.h"
#include "mml/Compile.h"
#include "song/Song.h"

namespace {

using clitest::RunVelnari;
using clitest::ScratchDir;

// What the voices of a log can say: everything but the carriers' levels
// (they hold the part's volume too), the unused lfo values and, unless the
// voice was heard on part 3, the ratios.
song::FMVoice Comparable(song::FMVoice voice, bool ratios) {
    static constexpr bool kCarrier[8][4] = {
        {0, 0, 0, 1}, {0, 0, 0, 1}, {0, 0, 0, 1}, {0, 0, 0, 1},
        {0, 1, 0, 1}, {0, 1, 1, 1}, {0, 1, 1, 1}, {1, 1, 1, 1},
    };
    voice.lfo = {};
    for (int i = 0; i < 4; ++i) {
        if (kCarrier[voice.fbAlg & 7][i]) voice.op[i].tl = 0;
        if (!ratios) voice.op[i].ratio = 0;
    }
    return voice;
}

std::shared_ptr<const song::Song> CompileText(const std::string& text) {
    Tarsel::CompileResult compiled = Tarsel::Compile(text, "voices.mml");
    EXPECT_FALSE(compiled.fault) << compiled.fault->message << "\n" << text;
    return compiled.song;
}

struct Played {
    int number;  // the song's voice
    int part;    // 1-3
};

struct Case {
    const char* song;  // an example's file name, or a song's text
    std::vector<Played> played;
    int unnamed;  // voices the song makes with `y` writes, not by a definition
};

TEST(ProgramVoices, EveryExampleGivesBackTheVoicesItPlays) {
    const std::vector<Case> cases = {
        {"demo.mml", {{1, 1}, {2, 2}, {3, 3}}, 0},
        {"festival.mml", {{10, 1}, {11, 2}, {12, 3}}, 0},
        {"percussion.mml", {{1, 1}, {2, 2}, {3, 3}}, 0},
        {"clockwork.mml", {{20, 1}, {21, 2}, {22, 3}}, 1},     // y176,60: feedback 7
        {"sound:1\nlfo:0,0,0,4,3\n4: v12 o4 c d e\n", {}, 0},  // no FM part plays
    };
    ScratchDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.song);
        const bool example = std::string(c.song).ends_with(".mml");
        const std::string source = example ? std::string(VELNARI_SOURCE_DIR) + "/examples/" + c.song
                                           : dir.Write("s.mml", c.song);
        const auto exported = RunVelnari(dir, "render " + clitest::Quote(source) + " -o song.vgm");
        ASSERT_EQ(exported.status, 0) << exported.err;
        const auto lifted = RunVelnari(dir, "voices song.vgm");
        ASSERT_EQ(lifted.status, 0) << lifted.err;
        const auto voices = CompileText(lifted.out);
        ASSERT_TRUE(voices);
        if (c.played.empty()) {
            EXPECT_EQ(lifted.out, "; song.vgm keys on no FM voice\n");
            continue;
        }
        const Tarsel::CompileResult original = Tarsel::CompileFile(source);
        ASSERT_TRUE(original.song);
        std::set<int> numbers;
        for (const Played& p : c.played) {
            numbers.insert(p.number);
            const song::FMVoice want = Comparable(original.song->GetVoice(p.number), p.part == 3);
            bool found = false;
            for (const auto& [n, voice] : voices->Voices())
                found |= Comparable(voice, p.part == 3) == want;
            EXPECT_TRUE(found) << "voice " << p.number << " of part " << p.part << "\n"
                               << lifted.out;
        }
        EXPECT_EQ(voices->Voices().size(), numbers.size() + c.unnamed) << lifted.out;
        EXPECT_EQ(voices->Voices().begin()->first, 1);
    }
}

// A VGM 1.71 of a YM2203, a YM2612 and an SN76489 (whose writes are skipped).
class VgmBuilder {
  public:
    VgmBuilder() : bytes_(0x100, '\0') {
        Patch(0x00, 0x206D6756);
        Patch(0x08, 0x171);
        Patch(0x0C, 3579545);  // SN76489
        Patch(0x2C, 7670453);  // YM2612
        Patch(0x34, 0x100 - 0x34);
        Patch(0x44, 3993600);  // YM2203
    }
    void Patch(std::size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) bytes_[at + i] = static_cast<char>(v >> (8 * i));
    }
    void Command(std::initializer_list<int> bytes) {
        for (int b : bytes) bytes_ += static_cast<char>(b);
    }
    // A voice of connection 4, feedback 5, on channel c (0-2) of a register
    // bank; `carrier` is the level of op2 and op4, `am` the OPN2's modulation bit.
    void Voice(int command, int c, int carrier, int am = 0) {
        Command({command, 0xB0 + c, 0x2C});
        for (int slot = 0; slot < 4; ++slot) {
            const int r = c + 4 * slot;
            const bool isCarrier = slot >= 2;  // op2 and op4 sit in slots 2 and 3
            Command({command, 0x30 + r, 0x31 + slot, command, 0x40 + r,
                     isCarrier ? carrier : 30 + slot});
            Command({command, 0x50 + r, 0x5F - slot, command, 0x60 + r, (5 + slot) | am});
            Command({command, 0x70 + r, 2, command, 0x80 + r, 0x27 + 0x10 * slot});
        }
    }
    void Wait(int samples) { Command({0x61, samples & 0xFF, samples >> 8}); }
    std::string Finish() {
        Command({0x66});
        Patch(0x04, static_cast<uint32_t>(bytes_.size() - 4));
        return bytes_;
    }

  private:
    std::string bytes_;
};

TEST(ProgramVoices, TwoChipsVoicesNamedWithTheirChannels) {
    VgmBuilder vgm;
    vgm.Voice(0x55, 0, 20);           // YM2203 FM1
    vgm.Command({0x55, 0x28, 0xF0});  // key on
    vgm.Wait(44100);
    vgm.Command({0x50, 0x9F});        // SN76489
    vgm.Voice(0x53, 1, 12);           // YM2612 FM5: bank 1, channel 1...
    vgm.Command({0x53, 0xB1, 0x07});  // ...with connection 7 instead
    vgm.Command({0x52, 0x28, 0xF5});
    vgm.Wait(22050);
    vgm.Voice(0x52, 0, 28, 0x80);     // the first voice, quieter, with AM set
    vgm.Command({0x52, 0x28, 0x10});  // one operator keyed: a key-on too
    ScratchDir dir;
    const std::string log = vgm.Finish();
    dir.Write("two.vgm", log);
    const auto lifted = RunVelnari(dir, "voices two.vgm");
    ASSERT_EQ(lifted.status, 0) << lifted.err;
    EXPECT_NE(
        lifted.out.find("sound:@1                        ; first on FM1 of the YM2203 at 0:00.000\n"
                        "lfo: 0,0,0, 4,5\n"),
        std::string::npos)
        << lifted.out;
    EXPECT_NE(
        lifted.out.find("sound:@2                        ; first on FM5 of the YM2612 at 0:01.000\n"
                        "lfo: 0,0,0, 7,0\n"),
        std::string::npos)
        << lifted.out;
    const auto voices = CompileText(lifted.out);
    ASSERT_TRUE(voices);
    ASSERT_EQ(voices->Voices().size(), 2u) << lifted.out;
    const song::FMVoice& first = voices->GetVoice(1);
    EXPECT_EQ(first.op[1].tl, 20) << "the loudest key-on's level";
    EXPECT_EQ(first.op[0].tl, 30);
    EXPECT_EQ(first.op[2].ksAr, 0x5E) << "op3 sits in slot 1";
    EXPECT_EQ(first.op[3].slRr, 0x57);
    EXPECT_EQ(first.op[3].dr, 8);

    // Cut short, it is refused; as a YM2203 log alone, with the other chips'
    // writes still in it, it is refused as info refuses it.
    dir.Write("cut.vgm", log.substr(0, log.size() - 4));
    const auto cut = RunVelnari(dir, "voices cut.vgm");
    EXPECT_EQ(cut.status, 1);
    EXPECT_EQ(cut.err, "velnari: cannot read 'cut.vgm': the file is cut short\n");
    std::string alone = log;
    alone.replace(0x0C, 4, std::string(4, '\0'));
    alone.replace(0x2C, 4, std::string(4, '\0'));
    dir.Write("alone.vgm", alone);
    const auto voices2203 = RunVelnari(dir, "voices alone.vgm");
    const auto info = RunVelnari(dir, "info alone.vgm");
    EXPECT_EQ(voices2203.status, info.status);
    EXPECT_NE(info.err, "");
    EXPECT_EQ(voices2203.err, info.err);
}

}  // namespace
