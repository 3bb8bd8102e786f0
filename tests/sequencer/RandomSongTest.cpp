// Songs made of random commands with extreme arguments: every part either
// plays on or ends, nothing hangs, the stacks stay bounded, and every register
// value stays in its register's range. The sanitizer build checks the
// arithmetic on the way.

#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <string>

#include "SequencerRig.h"

using sequencer::Sequencer;
using song::Command;
using song::FMVoice;
using song::Song;
using song::SSGEnvelope;

namespace {

class RandomSong {
  public:
    explicit RandomSong(uint32_t seed) : rng_(seed) {}

    void Fill(Song& song) {
        song.SetTempo(Arg());
        for (int n = 0; n < 4; ++n) {
            FMVoice v;
            v.fbAlg = static_cast<uint8_t>(rng_());
            for (auto& op : v.op) {
                op = {Byte(), static_cast<uint8_t>(Byte() & 0x7F), Byte(), Byte(), Byte(), Byte(),
                      Byte()};
            }
            song.SetVoice(Pick(4), v);
            SSGEnvelope env{Arg(), {}};
            for (int i = Pick(5); i > 0; --i) env.levels.push_back(Byte());
            song.SetSSGEnvelope(Pick(4), env);
        }
        for (const char* name : {"a", "b", "c"}) {
            for (int i = Pick(6) + 1; i > 0; --i) song.AddToMacro(name, Next());
        }
        for (int part = 0; part < song::kPartCount; ++part) {
            for (int i = Pick(24); i > 0; --i) song.AddToPart(part, Next());
        }
    }

  private:
    int Pick(int n) { return static_cast<int>(rng_() % static_cast<uint32_t>(n)); }
    uint8_t Byte() { return static_cast<uint8_t>(rng_()); }
    int32_t Arg() {
        static constexpr int32_t kValues[] = {0,  1,  -1,  2,    3,  4,       7,       8,   12,
                                              16, 64, 255, -255, -2, INT_MAX, INT_MIN, 100, -100};
        if (Pick(4) == 0) return static_cast<int32_t>(rng_());
        return kValues[Pick(static_cast<int>(std::size(kValues)))];
    }
    Command Next() {
        static constexpr char kCodes[] = "#####&RWLO<>V@QNPUISM{}}%";
        const char code = kCodes[Pick(static_cast<int>(sizeof kCodes - 1))];
        if (Pick(10) == 0) return Command('$', std::string(1, static_cast<char>('a' + Pick(4))));
        if (code == '#') return Command('#', Pick(16) - 2, Pick(3) == 0 ? Arg() : Pick(9));
        return Command(code, Arg(), Arg(), Arg());
    }

    std::mt19937 rng_;
};

class RandomSongTest : public ::testing::TestWithParam<uint32_t>, public SequencerRig {};

TEST_P(RandomSongTest, PlaysOrEndsWithinBounds) {
    RandomSong(GetParam()).Fill(song);
    Start();
    for (int t = 0; t < 400; ++t) {
        Tick();
        for (const auto& w : log.writes) {
            ASSERT_LT(w.addr, 0x100u);
            ASSERT_LE(w.data, 0xFFu) << std::hex << w.addr;
            const bool high =
                (w.addr >= 0xA4 && w.addr <= 0xA6) || (w.addr >= 0xAC && w.addr <= 0xAE);
            if (high) {
                ASSERT_LE(w.data, 0x3Fu);
            }
            if (w.addr >= 0x40 && w.addr <= 0x4E) {
                ASSERT_LE(w.data, 127u);  // total levels never wrap
            }
        }
        for (int p = 0; p < song::kPartCount; ++p) {
            ASSERT_LE(seq->Part(p).flow.returns.size(), Sequencer::kMaxNesting);
            ASSERT_LE(seq->Part(p).flow.loops.size(), Sequencer::kMaxNesting);
        }
    }
    // The render loop itself copes with whatever tick length the tempo gave.
    std::vector<int16_t> buffer(2 * 3000);
    seq->Render(buffer.data(), 3000);
}

INSTANTIATE_TEST_SUITE_P(Seeds, RandomSongTest, ::testing::Range(1u, 61u));

}  // namespace
