// The C interface the web page calls: a compiled song and an engine playing
// it, each behind an opaque handle. Frames are interleaved 16-bit stereo at
// the engine's rate; the page converts them to Float32 at its own edge.
// Positions are in frames and ticks, passed as doubles (exact up to 2^53) so
// that JavaScript needs no 64-bit integers.

#include <emscripten/emscripten.h>

#include "mml/SpiritClassic.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "fm/OPN.h"
#include "mml/MMLParser.h"
#include "sequencer/Sequencer.h"
#include "song/CompileContext.h"
#include "song/Song.h"

namespace {

// A song, or the first fault that stopped its compile.
struct WebSong {
    std::shared_ptr<Song> song;
    int32_t line = 0;
    int32_t column = 0;
    std::string text;
};

struct WebEngine {
    std::shared_ptr<Song> song;
    uint32_t rate;
    int32_t fmVolume;
    int32_t ssgVolume;
    uint32_t mask = 0;
    FM::OPN chip;
    std::unique_ptr<Sequencer> sequencer;
    int64_t frame = 0;

    void Restart() {
        sequencer = std::make_unique<Sequencer>(&chip, song.get());
        sequencer->Init(rate);
        chip.SetVolumeFM(fmVolume);
        chip.SetVolumePSG(ssgVolume);
        chip.SetChannelMask(mask);
        frame = 0;
    }
    void Render(int16_t* out, int32_t frames) {
        sequencer->Render(out, frames);
        frame += frames;
    }
};

std::shared_ptr<Song> CompileText(const char* first, const char* last, WebSong& fault) {
    auto song = std::make_shared<Song>();
    const char* const begin = first;
    CompileContext context(*song);
    const Tarsel::MMLParser grammar(context);
    try {
        while (first != last) {
            const auto result = Tarsel::ParseLine(first, last, grammar);
            if (!result.hit) {
                const char* lineStart = result.stop;
                while (lineStart != begin && lineStart[-1] != '\n') --lineStart;
                fault.line = context.line;
                fault.column = static_cast<int32_t>(result.stop - lineStart) + 1;
                fault.text = "parse error";
                return nullptr;
            }
            first = result.stop;
        }
    } catch (const std::exception& e) {
        fault.line = context.line;
        fault.text = e.what();
        return nullptr;
    }
    return song;
}

}  // namespace

extern "C" {

// Compiles `length` bytes of MML text. Never null: a handle without a song
// holds the fault.
EMSCRIPTEN_KEEPALIVE WebSong* vn_compile(const char* text, int32_t length) {
    auto* result = new WebSong;
    result->song = CompileText(text, text + length, *result);
    return result;
}

EMSCRIPTEN_KEEPALIVE int32_t vn_song_ok(const WebSong* s) {
    return s->song != nullptr;
}
EMSCRIPTEN_KEEPALIVE int32_t vn_fault_line(const WebSong* s) {
    return s->line;
}
EMSCRIPTEN_KEEPALIVE int32_t vn_fault_column(const WebSong* s) {
    return s->column;
}
EMSCRIPTEN_KEEPALIVE const char* vn_fault_text(const WebSong* s) {
    return s->text.c_str();
}
EMSCRIPTEN_KEEPALIVE int32_t vn_song_part_used(const WebSong* s, int32_t part) {
    return s->song && part >= 0 && part < Song::kPartCount && s->song->IsPartUsed(part);
}
EMSCRIPTEN_KEEPALIVE void vn_song_free(WebSong* s) {
    delete s;
}

// Tick by which every used part has ended `passes` passes or stopped (0 when
// no part plays); -1 when that is not reached within `maxTicks`.
EMSCRIPTEN_KEEPALIVE double vn_song_passes_end(const WebSong* s, int32_t passes, double maxTicks) {
    if (!s->song) return 0;
    FM::OPN chip;
    Sequencer sequencer(&chip, s->song.get());
    sequencer.Init(44100);
    for (int64_t t = 0; t < static_cast<int64_t>(maxTicks); ++t) {
        bool done = true;
        int64_t end = 0;
        for (int p = 0; p < Song::kPartCount; ++p) {
            if (!s->song->IsPartUsed(p)) continue;
            if (sequencer.IsActive(p) && sequencer.Passes(p) < passes) done = false;
            end = std::max(end, sequencer.IsActive(p) ? sequencer.PassEndTick(p) : t);
        }
        if (done) return static_cast<double>(end);
        sequencer.Tick();
    }
    return -1;
}

// An engine at tick 0 playing the song; null for a handle without a song.
EMSCRIPTEN_KEEPALIVE WebEngine* vn_engine_new(const WebSong* s, uint32_t rate, int32_t fmVolume,
                                              int32_t ssgVolume) {
    if (!s->song) return nullptr;
    auto* e = new WebEngine{s->song, rate, fmVolume, ssgVolume, 0, {}, {}, 0};
    e->Restart();
    return e;
}
EMSCRIPTEN_KEEPALIVE void vn_engine_free(WebEngine* e) {
    delete e;
}

EMSCRIPTEN_KEEPALIVE void vn_engine_render(WebEngine* e, int16_t* out, int32_t frames) {
    e->Render(out, frames);
}
EMSCRIPTEN_KEEPALIVE void vn_engine_restart(WebEngine* e) {
    e->Restart();
}

// Runs ahead from the current frame toward `target` (restarting first when
// the target lies behind), rendering at most `budget` frames; returns the
// frame reached. Output from there equals a render from the start.
EMSCRIPTEN_KEEPALIVE double vn_engine_run_ahead(WebEngine* e, double target, int32_t budget) {
    const auto to = static_cast<int64_t>(target);
    if (to < e->frame) e->Restart();
    static std::array<int16_t, 2 * 4096> scratch;
    while (e->frame < to && budget > 0) {
        const int32_t n = static_cast<int32_t>(
            std::min<int64_t>({to - e->frame, budget, int64_t{scratch.size() / 2}}));
        e->Render(scratch.data(), n);
        budget -= n;
    }
    return static_cast<double>(e->frame);
}

// Mute bits: 0-2 FM channels 1-3, 6-8 SSG channels A-C.
EMSCRIPTEN_KEEPALIVE void vn_engine_set_mask(WebEngine* e, uint32_t mask) {
    e->mask = mask;
    e->chip.SetChannelMask(mask);
}

EMSCRIPTEN_KEEPALIVE double vn_engine_frame(const WebEngine* e) {
    return static_cast<double>(e->frame);
}
EMSCRIPTEN_KEEPALIVE double vn_engine_tick(const WebEngine* e) {
    return static_cast<double>(e->sequencer->CurrentTick());
}
EMSCRIPTEN_KEEPALIVE int32_t vn_engine_frames_per_tick(const WebEngine* e) {
    return e->sequencer->SamplesPerTick();
}
EMSCRIPTEN_KEEPALIVE double vn_engine_part_passes(const WebEngine* e, int32_t part) {
    return static_cast<double>(e->sequencer->Passes(part));
}
EMSCRIPTEN_KEEPALIVE int32_t vn_engine_part_active(const WebEngine* e, int32_t part) {
    return e->sequencer->IsActive(part);
}

}  // extern "C"
