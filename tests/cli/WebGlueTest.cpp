// The web page's glue, built natively: a download planned and rendered through
// it is, byte for byte, what the command line renders for the same plan.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "CliTestSupport.h"
#include "engine/Engine.h"
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

}  // namespace
