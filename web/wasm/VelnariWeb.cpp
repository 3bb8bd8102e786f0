// The C interface the web page calls: a compiled song and an engine playing
// it, each behind an opaque handle, each call a line or two over the compiler
// and the engine. Frames are interleaved 16-bit stereo at the engine's rate;
// the page converts them to Float32 at its own edge. Positions are in frames
// and ticks, passed as doubles (exact up to 2^53) so that JavaScript needs no
// 64-bit integers.

#include <emscripten/emscripten.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/Engine.h"
#include "engine/LoopDetector.h"
#include "mml/Compile.h"
#include "mml/Warnings.h"
#include "reglog/Export.h"

namespace {

// A song, or the first fault that stopped its compile; and, from a review,
// the warnings.
struct WebSong {
    std::shared_ptr<const song::Song> song;
    int32_t line = 0;
    int32_t column = 0;
    std::string text;  // the fault as a person reads it, without name or line
    std::vector<Tarsel::Warning> warnings;
};

WebSong* FromResult(Tarsel::CompileResult&& compiled) {
    auto* result = new WebSong;
    result->song = std::move(compiled.song);
    if (compiled.fault) {
        result->line = compiled.fault->line;
        result->column = compiled.fault->column;
        result->text = std::move(compiled.fault->readable);
    }
    return result;
}

std::string_view Text(const char* text, int32_t length) {
    return {text, static_cast<std::size_t>(length)};
}

}  // namespace

using WebEngine = engine::Engine;

extern "C" {

// Compiles `length` bytes of MML text. Never null: a handle without a song
// holds the fault.
EMSCRIPTEN_KEEPALIVE WebSong* vn_compile(const char* text, int32_t length) {
    return FromResult(Tarsel::Compile(Text(text, length), "song"));
}

// Compiles and reviews: the handle also holds the warnings.
EMSCRIPTEN_KEEPALIVE WebSong* vn_review(const char* text, int32_t length) {
    Tarsel::ReviewResult reviewed = Tarsel::Review(Text(text, length), "song");
    WebSong* result = FromResult(std::move(reviewed));
    result->warnings = std::move(reviewed.warnings);
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
    return s->song && part >= 0 && part < song::kPartCount && s->song->IsPartUsed(part);
}
// Warning `i` of a reviewed song: line (0: the whole song), 1-based byte
// column (0: not known), bytes of the text it is about (0: not known), kind
// name and text.
EMSCRIPTEN_KEEPALIVE int32_t vn_warning_count(const WebSong* s) {
    return static_cast<int32_t>(s->warnings.size());
}
EMSCRIPTEN_KEEPALIVE int32_t vn_warning_line(const WebSong* s, int32_t i) {
    return s->warnings.at(i).line;
}
EMSCRIPTEN_KEEPALIVE int32_t vn_warning_column(const WebSong* s, int32_t i) {
    return s->warnings.at(i).column;
}
EMSCRIPTEN_KEEPALIVE int32_t vn_warning_length(const WebSong* s, int32_t i) {
    return s->warnings.at(i).length;
}
EMSCRIPTEN_KEEPALIVE const char* vn_warning_kind(const WebSong* s, int32_t i) {
    static std::string name;
    name = Tarsel::KindName(s->warnings.at(i).kind);
    return name.c_str();
}
EMSCRIPTEN_KEEPALIVE const char* vn_warning_text(const WebSong* s, int32_t i) {
    return s->warnings.at(i).text.c_str();
}
EMSCRIPTEN_KEEPALIVE void vn_song_free(WebSong* s) {
    delete s;
}

// Tick by which every used part has ended `passes` passes or stopped (0 when
// no part plays); -1 when that is not reached within `maxTicks`.
EMSCRIPTEN_KEEPALIVE double vn_song_passes_end(const WebSong* s, int32_t passes, double maxTicks) {
    if (!s->song) return 0;
    engine::Engine ahead(s->song, 44100);
    const engine::LoopReport loops =
        engine::LoopDetector::Run(ahead, passes, static_cast<int64_t>(maxTicks));
    return loops.endTick ? static_cast<double>(*loops.endTick) : -1;
}

// The song as a register log file (format 0: VGM, 1: S98) as the command
// line's `render -o FILE.vgm` writes it: up to the end of its first
// whole-song loop with the loop point (or 600 s without one), titled
// `title`; null where the command line refuses to write it (a log larger
// than velnari reads back). The bytes stay valid until vn_bytes_free.
EMSCRIPTEN_KEEPALIVE std::vector<uint8_t>* vn_song_log(const WebSong* s, int32_t format,
                                                       const char* title) {
    if (!s->song) return nullptr;
    reglog::SongExport exported = reglog::ExportSong(s->song, reglog::ExportSettings{});
    exported.log.tags.title = title;
    exported.log.tags.maker = std::string("velnari ") + VELNARI_VERSION;
    reglog::LogFile file = reglog::WriteLogFile(
        exported.log, *reglog::LogFileFormatNamed(format == 1 ? "S98" : "VGM"));
    if (!file.fault.empty()) return nullptr;
    return new std::vector<uint8_t>(std::move(file.bytes));
}
EMSCRIPTEN_KEEPALIVE const uint8_t* vn_bytes_data(const std::vector<uint8_t>* b) {
    return b->data();
}
EMSCRIPTEN_KEEPALIVE int32_t vn_bytes_size(const std::vector<uint8_t>* b) {
    return static_cast<int32_t>(b->size());
}
EMSCRIPTEN_KEEPALIVE void vn_bytes_free(std::vector<uint8_t>* b) {
    delete b;
}

// An engine at tick 0 playing the song; null for a handle without a song.
EMSCRIPTEN_KEEPALIVE WebEngine* vn_engine_new(const WebSong* s, uint32_t rate, int32_t fmVolume,
                                              int32_t ssgVolume) {
    if (!s->song) return nullptr;
    return new WebEngine(s->song, rate, {fmVolume, ssgVolume});
}
EMSCRIPTEN_KEEPALIVE void vn_engine_free(WebEngine* e) {
    delete e;
}

EMSCRIPTEN_KEEPALIVE void vn_engine_render(WebEngine* e, int16_t* out, int32_t frames) {
    e->Render(out, frames);
}
// Back to the start, as a new engine would play it.
EMSCRIPTEN_KEEPALIVE void vn_engine_restart(WebEngine* e) {
    e->SeekToFrame(0);
}

// Runs ahead from the current frame toward `target` (starting afresh first
// when the target lies behind), rendering at most `budget` frames; returns
// the frame reached. Output from there equals a render from the start.
EMSCRIPTEN_KEEPALIVE double vn_engine_run_ahead(WebEngine* e, double target, int32_t budget) {
    const auto to = static_cast<int64_t>(target);
    if (to < e->Frame()) e->SeekToFrame(0);
    static std::array<int16_t, 2 * 4096> scratch;
    while (e->Frame() < to && budget > 0) {
        const auto n = static_cast<int32_t>(
            std::min<int64_t>({to - e->Frame(), budget, int64_t{scratch.size() / 2}}));
        e->Render(scratch.data(), n);
        budget -= n;
    }
    return static_cast<double>(e->Frame());
}

// Mute bits: 0-2 FM channels 1-3, 6-8 SSG channels A-C.
EMSCRIPTEN_KEEPALIVE void vn_engine_set_mask(WebEngine* e, uint32_t mask) {
    e->SetChannelMask(mask);
}

EMSCRIPTEN_KEEPALIVE double vn_engine_frame(const WebEngine* e) {
    return static_cast<double>(e->Frame());
}
EMSCRIPTEN_KEEPALIVE double vn_engine_tick(const WebEngine* e) {
    return static_cast<double>(e->Tick());
}
EMSCRIPTEN_KEEPALIVE int32_t vn_engine_frames_per_tick(const WebEngine* e) {
    return e->FramesPerTick();
}
EMSCRIPTEN_KEEPALIVE double vn_engine_part_passes(const WebEngine* e, int32_t part) {
    return static_cast<double>(e->Part(part).passes);
}
EMSCRIPTEN_KEEPALIVE int32_t vn_engine_part_active(const WebEngine* e, int32_t part) {
    return e->Part(part).active;
}

}  // extern "C"
