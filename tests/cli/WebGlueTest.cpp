// The web page's glue, built natively: a download planned and rendered through
// it is, byte for byte, what the command line renders for the same plan; the
// voice workshop's envelopes are the chip's, its voices of a log the command
// line's.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "CliTestSupport.h"
#include "engine/Engine.h"
#include "fm/OPN.h"
#include "mml/Compile.h"

struct WebSong;
struct WebRender;

extern "C" {
WebSong* vn_compile(const char* text, int32_t length);
void vn_song_free(WebSong* s);
double vn_song_frame_of_tick(const WebSong* s, uint32_t rate, double tick);
WebRender* vn_render_new(const WebSong* s, uint32_t rate, uint32_t mask, int32_t byPasses,
                         double amount, double position);
int32_t vn_render_fill(WebRender* r, int16_t* out, int32_t count);
void vn_render_free(WebRender* r);
int32_t vn_voice_envelope(const int32_t* values, int32_t op, int32_t note, uint32_t rate,
                          double hold, double step, int32_t points, int32_t* out);
struct WebText;
WebText* vn_log_voices(const uint8_t* data, int32_t size, const char* name);
int32_t vn_text_ok(const WebText* t);
const char* vn_text(const WebText* t);
void vn_text_free(WebText* t);
}

namespace {

using clitest::Quote;
using clitest::ReadFile;
using clitest::RunVelnari;
using clitest::ScratchDir;

// The glue's frames for a download, as raw bytes like `render -o -` writes.
std::string WebDownload(const std::string& text, uint32_t rate, uint32_t mask, bool byPasses,
                        double amount, double position) {
    WebSong* song = vn_compile(text.data(), static_cast<int32_t>(text.size()));
    WebRender* render = vn_render_new(song, rate, mask, byPasses ? 1 : 0, amount, position);
    std::string bytes;
    if (render != nullptr) {
        std::vector<int16_t> block(2 * 1000);
        while (const int32_t n = vn_render_fill(render, block.data(), 1000)) {
            bytes.append(reinterpret_cast<const char*>(block.data()), std::size_t{4} * n);
        }
        vn_render_free(render);
    }
    vn_song_free(song);
    return bytes;
}

TEST(WebGlue, DownloadsAreTheCommandLinesRenders) {
    ScratchDir dir;
    // An example, and a song whose tempo changes before bar 4.
    const std::string tempo =
        dir.Write("tempo.mml", "4: @0 v12 o4 l8 {4 c e g e} !t90 cdef !t60,16 gab>c\n");
    for (const std::string& file :
         {std::string(VELNARI_SOURCE_DIR) + "/examples/demo.mml", tempo}) {
        const std::string text = ReadFile(file);
        WebSong* song = vn_compile(text.data(), static_cast<int32_t>(text.size()));
        // Three seconds from bar 4 (at tick 192), as the page's seek and the
        // command line's --start-tick place it.
        const double bar4 = vn_song_frame_of_tick(song, 22050, 192);
        vn_song_free(song);
        char seconds[64];
        std::snprintf(seconds, sizeof seconds, "%.17g", (bar4 + 3.0 * 22050) / 22050);

        struct Case {
            uint32_t mask;
            bool byPasses;
            double amount;
            double position;
            std::string options;
        };
        const Case cases[] = {
            {0, true, 1, 0, "--loops 1 --fade 0"},
            {2, false, 3, bar4, "--start-tick 192 --seconds " + std::string(seconds) + " --mute 2"},
        };
        for (const Case& c : cases) {
            const auto cli =
                RunVelnari(dir, "render " + Quote(file) + " --rate 22050 -o - " + c.options);
            ASSERT_EQ(cli.status, 0) << c.options << cli.err;
            const std::string web =
                WebDownload(text, 22050, c.mask, c.byPasses, c.amount, c.position);
            EXPECT_GT(web.size(), 22050u * 4) << c.options;
            EXPECT_TRUE(web == cli.out)
                << file << " " << c.options << ": " << web.size() << " bytes from the glue, "
                << cli.out.size() << " from the command line";
        }
    }
}

TEST(WebGlue, VoiceEnvelopeIsTheChipsOwn) {
    // Algorithm 4 with feedback 5; each operator with its own slow enough
    // attack, decay, sustain and release to be caught in every phase.
    const int32_t values[42] = {4,  5,                            //
                                20, 10, 4, 5, 3, 30, 1, 1, 3, 0,  //
                                14, 8,  2, 3, 6, 0,  2, 2, 0, 0,  //
                                25, 12, 6, 7, 2, 45, 0, 3, 5, 0,  //
                                12, 5,  1, 4, 8, 10, 3, 1, 7, 0};
    constexpr uint32_t kRate = 44100;
    constexpr int kNote = 57;  // octave 3's A: block 3, F-number 1040
    constexpr int64_t kHold = 30000, kStep = 6000;
    for (int op = 0; op < 4; ++op) {
        int32_t levels[10] = {};
        ASSERT_EQ(vn_voice_envelope(values, op, kNote, kRate, kHold, kStep, 10, levels), 10);

        // The same note by hand on channel 1: the registers as the data
        // sheet lays them out, the operators in slot order 1, 3, 2, 4.
        FM::OPN chip;
        chip.Init(3993600, kRate);
        chip.SetReg(0x27, 0x40);
        chip.SetReg(0xB0, 5 << 3 | 4);
        constexpr int kSlot[4] = {0, 8, 4, 12};
        for (int i = 0; i < 4; ++i) {
            const int32_t* v = values + 2 + 10 * i;  // AR DR SR RR SL TL KS MUL DT ratio
            chip.SetReg(0x30 + kSlot[i], v[8] << 4 | v[7]);
            chip.SetReg(0x40 + kSlot[i], v[5]);
            chip.SetReg(0x50 + kSlot[i], v[6] << 6 | v[0]);
            chip.SetReg(0x60 + kSlot[i], v[1]);
            chip.SetReg(0x70 + kSlot[i], v[2]);
            chip.SetReg(0x80 + kSlot[i], v[4] << 4 | v[3]);
        }
        chip.SetReg(0xA4, 3 << 3 | 1040 >> 8);
        chip.SetReg(0xA0, 1040 & 0xFF);
        chip.SetReg(0x28, 0xF0);
        int16_t frame[2];
        for (int64_t f = 0; f < 10 * kStep; ++f) {
            if (f == kHold) chip.SetReg(0x28, 0x00);
            frame[0] = frame[1] = 0;
            chip.Mix(frame, 1);
            if (f % kStep == 0) {
                EXPECT_EQ(levels[f / kStep], chip.GetChannel(0).GetOperator(op).EnvelopeOutput())
                    << "op" << op + 1 << " at frame " << f;
            }
        }
    }
}

TEST(WebGlue, VoicesOfALogAreTheCommandLines) {
    ScratchDir dir;
    const std::string log = dir / "demo.vgm";
    ASSERT_EQ(
        RunVelnari(dir, "render " + Quote(std::string(VELNARI_SOURCE_DIR) + "/examples/demo.mml") +
                            " -o " + Quote(log))
            .status,
        0);
    // The log, and the log cut short: the voices, or the same fault.
    const std::string whole = ReadFile(log);
    for (const std::size_t size : {whole.size(), std::size_t{300}}) {
        const std::string file = dir / ("log" + std::to_string(size) + ".vgm");
        { std::ofstream(file, std::ios::binary) << whole.substr(0, size); }
        const auto cli = RunVelnari(dir, "voices " + Quote(file));
        WebText* text = vn_log_voices(reinterpret_cast<const uint8_t*>(whole.data()),
                                      static_cast<int32_t>(size), file.c_str());
        EXPECT_EQ(vn_text_ok(text) != 0, cli.status == 0) << size;
        EXPECT_EQ(cli.status == 0 ? cli.out
                                  : "velnari: cannot read '" + file + "': " + vn_text(text) + "\n",
                  cli.status == 0 ? std::string(vn_text(text)) : cli.err)
            << size;
        vn_text_free(text);
    }
}

}  // namespace
