// The C interface the web page calls: a compiled song and an engine playing
// it, each behind an opaque handle, each call a line or two over the compiler
// and the engine. Frames are interleaved 16-bit stereo at the engine's rate;
// the page converts them to Float32 at its own edge. Positions are in frames
// and ticks, passed as doubles (exact up to 2^53) so that JavaScript needs no
// 64-bit integers. The rules of playing (how long a download is, the
// run-ahead to a position) are the playback layer's, as for every front end.
//
// The glue also builds natively, for the tests that compare it with the
// command line.

#ifdef __EMSCRIPTEN__
#include <emscripten/emscripten.h>
#else
#define EMSCRIPTEN_KEEPALIVE
#endif

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/Engine.h"
#include "engine/LoopDetector.h"
#include "mml/Compile.h"
#include "mml/Warnings.h"
#include "playback/FrameSource.h"
#include "playback/LiveSession.h"
#include "playback/NoteList.h"
#include "playback/Position.h"
#include "playback/RenderTiming.h"
#include "playback/Renderer.h"
#include "playback/Snapshots.h"
#include "reglog/Export.h"

// The handles the page holds. A song, or the first fault that stopped its
// compile; and, from a review, the warnings.
struct WebSong {
    std::shared_ptr<const song::Song> song;
    int32_t line = 0;
    int32_t column = 0;
    std::string text;  // the fault as a person reads it, without name or line
    std::vector<Tarsel::Warning> warnings;
    // Where the song's ticks start at `ticksRate`, made when first asked.
    mutable std::optional<playback::TickMap> ticks;
    mutable uint32_t ticksRate = 0;
    std::vector<Tarsel::PlainDialectFault> plainDialect;  // each use of an extension
};

// A download being rendered: an engine over the song, run ahead to where the
// download begins, and the plan of its frames.
struct WebRender {
    WebRender(std::shared_ptr<const song::Song> song, uint32_t rate, uint32_t mask)
        : engine(std::move(song), rate, {}, mask), frames(engine) {}

    engine::Engine engine;
    playback::EngineFrames frames;
    playback::Timing timing;
    std::unique_ptr<playback::Renderer> renderer;
};

// Ticks [firstTick, endTick) on repeat. Each pass is a take of its own, run
// ahead to the range's first tick (a slice in each fill) while the pass
// before it plays, then handed over at the exact frame where the range ends
// without a cross-fade, as the song's own loop joins; so each pass plays
// from its first tick as a render from the beginning does. Past the range (after a seek, or when
// chosen there), the next pass starts as soon as it is ready.
struct WebRange {
    int64_t firstTick = 0;
    int64_t endTick = 0;
    std::unique_ptr<playback::Take> next;  // the next pass, on its way to the first tick
    bool handedOver = false;               // a pass waits for its moment in the session

    // A seek or a new version has dropped the pass handed over.
    void Forget() {
        handedOver = false;
        next.reset();
    }
};

// The song playing on the audio thread: the live session, and what a new
// take of it needs. Paused at first.
struct WebLive {
    explicit WebLive(uint32_t rate) : rate(rate), session(kFadeFrames, kRunAheadBudget) {
        session.SetPaused(true);
    }

    // A take of the song as it now is; seeks in what a take of the same
    // song and mask has played or run through start from its snapshots.
    std::unique_ptr<playback::Take> NewTake() {
        return std::make_unique<playback::Take>(
            song, rate, engine::Volumes{}, mask, playback::RenderPlan::Endless(),
            playback::SnapshotsFor(snapshots, song, rate, engine::Volumes{}, mask));
    }

    // One audio quantum fades one take into the next; a take running ahead
    // does at most kRunAheadBudget frames of work per quantum (about 1.5 s of
    // the song at 44100 Hz, run ahead without its sound: under a millisecond
    // even for a busy song), so no quantum is ever late, and a seek from the
    // nearest snapshot (at most 4 s before it) lands within three quanta.
    static constexpr int32_t kFadeFrames = 128;
    static constexpr int64_t kRunAheadBudget = 65536;

    uint32_t rate;
    uint32_t mask = 0;
    std::shared_ptr<const song::Song> song;
    std::shared_ptr<playback::Snapshots> snapshots;  // of the latest take's piece
    bool seeking = false;             // the take running ahead is a seek, not a new version
    std::unique_ptr<WebRange> range;  // bars on repeat (vn_live_range)
    playback::LiveSession session;
    playback::LiveSession::Status status;  // as of the last fill or change
};

namespace {

// Keeps WebLive::range repeating: called before every fill.
void RepeatRange(WebLive& live);
// True from the moment a pass of the range is handed over until it sounds.
bool RangeWaits(const WebLive& live);

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

// How far the page looks for the end of a song's passes.
constexpr int64_t kMaxBars = 2000;

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
    result->plainDialect = std::move(reviewed.plainDialect);
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
// Each use of an extension of the language, from a review, for the page's
// check of the plain dialect.
EMSCRIPTEN_KEEPALIVE int32_t vn_plain_count(const WebSong* s) {
    return static_cast<int32_t>(s->plainDialect.size());
}
EMSCRIPTEN_KEEPALIVE int32_t vn_plain_line(const WebSong* s, int32_t i) {
    return s->plainDialect.at(i).line;
}
EMSCRIPTEN_KEEPALIVE int32_t vn_plain_column(const WebSong* s, int32_t i) {
    return s->plainDialect.at(i).column;
}
EMSCRIPTEN_KEEPALIVE int32_t vn_plain_length(const WebSong* s, int32_t i) {
    return s->plainDialect.at(i).length;
}
EMSCRIPTEN_KEEPALIVE const char* vn_plain_text(const WebSong* s, int32_t i) {
    return s->plainDialect.at(i).text.c_str();
}
// The song's #title, UTF-8; empty when it has none (or no song).
EMSCRIPTEN_KEEPALIVE const char* vn_song_title(const WebSong* s) {
    return s->song ? s->song->GetTags().title.c_str() : "";
}
EMSCRIPTEN_KEEPALIVE void vn_song_free(WebSong* s) {
    delete s;
}

// Frames per tick of the song at `rate` (1 for a handle without a song).
EMSCRIPTEN_KEEPALIVE int32_t vn_song_frames_per_tick(const WebSong* s, uint32_t rate) {
    return s->song ? engine::Engine(s->song, rate).FramesPerTick() : 1;
}

}  // extern "C"

namespace {

// The song's tempo map at `rate`, through the bars the page shows at most.
const playback::TickMap& TicksOf(const WebSong* s, uint32_t rate) {
    if (!s->ticks || s->ticksRate != rate) {
        s->ticks = playback::TickMap::OfSong(s->song, rate, std::numeric_limits<int64_t>::max(),
                                             kMaxBars * playback::kTicksPerBar);
        s->ticksRate = rate;
    }
    return *s->ticks;
}

}  // namespace

extern "C" {

// Where tick `tick` starts, in frames at `rate`, and the tick that sounds at
// frame `frame`: the song's own map, tempo changes included.
EMSCRIPTEN_KEEPALIVE double vn_song_frame_of_tick(const WebSong* s, uint32_t rate, double tick) {
    return static_cast<double>(TicksOf(s, rate).FrameOfTick(static_cast<int64_t>(tick)));
}
EMSCRIPTEN_KEEPALIVE double vn_song_tick_of_frame(const WebSong* s, uint32_t rate, double frame) {
    return static_cast<double>(TicksOf(s, rate).TickOfFrame(static_cast<int64_t>(frame)));
}

// The length the page shows for the song at `rate`, in frames: to the end of
// its first pass, at least a bar; 64 bars when that pass does not end within
// 2000 bars.
EMSCRIPTEN_KEEPALIVE double vn_song_length(const WebSong* s, uint32_t rate) {
    if (!s->song) return 0;
    playback::Length length;
    length.rate = rate;
    length.loops = 1;
    length.fadeSeconds = 0;
    length.maxTicks = kMaxBars * playback::kTicksPerBar;
    const playback::Timing timing = *playback::PlanTiming(s->song, length);
    if (timing.plan.cut) {
        return static_cast<double>(timing.ticks.FrameOfTick(64 * playback::kTicksPerBar));
    }
    return static_cast<double>(
        std::max(timing.plan.totalFrames, timing.ticks.FrameOfTick(playback::kTicksPerBar)));
}

// Ticks in a bar, as the page counts bars.
EMSCRIPTEN_KEEPALIVE int32_t vn_ticks_per_bar() {
    return static_cast<int32_t>(playback::kTicksPerBar);
}

// A download of the song as the page plays it, with chip mute bits `mask`:
// round(`amount`) passes (at least 1) from the start when `byPasses`, without
// a fade; otherwise `amount` seconds from frame `position`. Null for a
// handle without a song, or when the passes do not end within 2000 bars.
EMSCRIPTEN_KEEPALIVE WebRender* vn_render_new(const WebSong* s, uint32_t rate, uint32_t mask,
                                              int32_t byPasses, double amount, double position) {
    if (!s->song) return nullptr;
    // A length the page cannot hold anyway stays one the library can count.
    amount = std::isfinite(amount) ? std::clamp(amount, 0.0, 1e7) : 0.0;
    playback::Length length;
    length.rate = rate;
    length.fadeSeconds = 0;
    int64_t start = 0;
    if (byPasses) {
        length.loops = std::max(1, static_cast<int32_t>(std::llround(amount)));  // at most 1e7
        length.maxTicks = kMaxBars * playback::kTicksPerBar;
    } else {
        start = static_cast<int64_t>(position);
        length.seconds = amount;
        length.secondsFrom = start;
    }
    auto render = std::make_unique<WebRender>(s->song, rate, mask);
    render->timing = *playback::PlanTiming(s->song, length);
    if (render->timing.plan.cut) return nullptr;
    playback::RunAhead(render->frames, start);
    render->renderer =
        std::make_unique<playback::Renderer>(render->frames, render->timing.plan, start);
    return render.release();
}
// Frames the download still has to give.
EMSCRIPTEN_KEEPALIVE double vn_render_frames_left(const WebRender* r) {
    return static_cast<double>(r->timing.plan.totalFrames - r->renderer->FramesDone());
}
// Writes up to `count` frames to `out`; returns how many (0 at the end).
EMSCRIPTEN_KEEPALIVE int32_t vn_render_fill(WebRender* r, int16_t* out, int32_t count) {
    return r->renderer->Fill(out, count);
}
EMSCRIPTEN_KEEPALIVE void vn_render_free(WebRender* r) {
    delete r;
}

// The song as a register log file (format 0: VGM, 1: S98) as the command
// line's `render -o FILE.vgm` writes it: up to the end of its first
// whole-song loop with the loop point (or 600 s without one), titled
// `title`, with the song's other tags; null where the command line refuses to write it (a log
// larger than velnari reads back). The bytes stay valid until vn_bytes_free.
EMSCRIPTEN_KEEPALIVE std::vector<uint8_t>* vn_song_log(const WebSong* s, int32_t format,
                                                       const char* title) {
    if (!s->song) return nullptr;
    reglog::SongExport exported = reglog::ExportSong(s->song, reglog::ExportSettings{});
    const song::Tags& tags = s->song->GetTags();
    exported.log.tags.title = title;
    exported.log.tags.author = tags.composer;
    exported.log.tags.date = tags.date;
    exported.log.tags.notes = tags.notes;
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
// Runs ahead from the current frame toward `target` (starting afresh first
// when the target lies behind), at most `budget` frames of it; returns
// the frame reached. Output from there equals a render from the start.
EMSCRIPTEN_KEEPALIVE double vn_engine_run_ahead(WebEngine* e, double target, int32_t budget) {
    playback::Seek(*e, static_cast<int64_t>(target), {}, budget);
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

// The live session of the audio thread at `rate`.
EMSCRIPTEN_KEEPALIVE WebLive* vn_live_new(uint32_t rate) {
    return new WebLive(rate);
}
EMSCRIPTEN_KEEPALIVE void vn_live_free(WebLive* l) {
    delete l;
}
// Plays the song of `s` (nothing for a handle without a song): when
// `follow` and a song plays, from the same tick on, handed over when it has
// run ahead there; otherwise from its beginning at once.
EMSCRIPTEN_KEEPALIVE void vn_live_song(WebLive* l, const WebSong* s, int32_t follow) {
    if (!s->song) return;
    const bool playing = l->song != nullptr;
    l->song = s->song;
    l->seeking = false;
    if (l->range) l->range->Forget();
    if (follow && playing) {
        l->session.TakeOverWhenReady(l->NewTake(), 0);
    } else {
        l->session.Play(l->NewTake());
    }
    l->status = l->session.GetStatus();
}
// Plays the latest song from `frame`, once a take of it has run ahead there;
// what plays goes on until then.
EMSCRIPTEN_KEEPALIVE void vn_live_seek(WebLive* l, double frame) {
    if (!l->song) return;
    l->seeking = true;
    if (l->range) l->range->Forget();
    l->session.PlayWhenReady(l->NewTake(), static_cast<int64_t>(frame));
    l->status = l->session.GetStatus();
}
EMSCRIPTEN_KEEPALIVE void vn_live_set_playing(WebLive* l, int32_t playing) {
    l->session.SetPaused(playing == 0);
    l->status = l->session.GetStatus();
}
// Mute bits: 0-2 FM channels 1-3, 6-8 SSG channels A-C.
EMSCRIPTEN_KEEPALIVE void vn_live_set_mask(WebLive* l, uint32_t mask) {
    l->mask = mask;
    l->session.SetChannelMask(mask);
    if (l->range && l->range->next) l->range->next->SetChannelMask(mask);
}
// The next `count` frames of the audio thread (silence while paused or
// before a song).
EMSCRIPTEN_KEEPALIVE void vn_live_fill(WebLive* l, int16_t* out, int32_t count) {
    RepeatRange(*l);
    l->session.Fill(out, count);
    l->session.Collect();
    l->status = l->session.GetStatus();
}
// Where the playing take stands, as of the last call.
EMSCRIPTEN_KEEPALIVE int32_t vn_live_has_song(const WebLive* l) {
    return l->status.playing;
}
EMSCRIPTEN_KEEPALIVE double vn_live_frame(const WebLive* l) {
    return static_cast<double>(l->status.frame);
}
EMSCRIPTEN_KEEPALIVE double vn_live_tick(const WebLive* l) {
    return static_cast<double>(l->status.tick);
}
EMSCRIPTEN_KEEPALIVE int32_t vn_live_frames_per_tick(const WebLive* l) {
    return l->status.framesPerTick;
}
// A take runs ahead to a seek's frame, or to the tick of a new version (or
// stands there, waiting to sound).
EMSCRIPTEN_KEEPALIVE int32_t vn_live_seeking(const WebLive* l) {
    return l->status.handingOver && l->seeking;
}
EMSCRIPTEN_KEEPALIVE int32_t vn_live_following(const WebLive* l) {
    return l->status.handingOver && !l->seeking && !RangeWaits(*l);
}
EMSCRIPTEN_KEEPALIVE double vn_live_part_passes(const WebLive* l, int32_t part) {
    return static_cast<double>(l->status.parts.at(part).passes);
}
EMSCRIPTEN_KEEPALIVE int32_t vn_live_part_active(const WebLive* l, int32_t part) {
    return l->status.parts.at(part).active;
}

}  // extern "C"

// ---- seeing the music: the notes of the timeline and the editor's lights,
// and a range of the song on repeat -------------------------------------

namespace {

// How far the notes are looked for when the song's parts do not all end a
// pass sooner, as the register logs' export looks.
constexpr double kNotesSeconds = 600.0;

}  // namespace

// Every note of the song's first whole loop (NoteList), packed for the page
// as 32-bit integers, kNoteFields per note: part (0-5), tick, ticks, MIDI
// key, cents * 10, volume, voice, tied, the source's byte offset and length,
// and the index of its first macro call and their count in `calls` (byte
// offset and length of each call site, outermost first). Then where each
// part's endless loop begins and how long a pass of it is, in ticks (-1, 0
// when the part does not repeat within the search), so that a tick past the
// list's end finds its note a whole number of passes earlier.
struct WebNotes {
    static constexpr int kNoteFields = 12;
    std::vector<int32_t> notes;
    std::vector<int32_t> calls;
    std::array<int32_t, song::kPartCount> loopStart{};
    std::array<int32_t, song::kPartCount> loopLength{};
    int64_t endTick = 0;
    int64_t loopTick = -1;  // where the whole song starts again; -1: not found
};

extern "C" {

EMSCRIPTEN_KEEPALIVE WebNotes* vn_notes_new(const WebSong* s, uint32_t rate) {
    if (!s->song) return nullptr;
    auto out = std::make_unique<WebNotes>();
    const playback::NoteList list = playback::ListNotes(s->song, rate, std::nullopt, kNotesSeconds);
    out->endTick = list.endTick;
    out->loopTick = list.loopTick.value_or(-1);
    const auto i32 = [](int64_t v) { return static_cast<int32_t>(v); };
    for (const playback::Note& note : list.notes) {
        const auto first = i32(static_cast<int64_t>(out->calls.size() / 2));
        for (const song::Command* call : note.calls) {
            out->calls.push_back(i32(call->source.offset));
            out->calls.push_back(i32(call->source.length));
        }
        out->notes.insert(
            out->notes.end(),
            {note.part, i32(note.tick), i32(note.ticks), note.key,
             i32(std::lround(note.cents * 10)), note.volume, note.voice, note.tied ? 1 : 0,
             i32(note.command->source.offset), i32(note.command->source.length), first,
             i32(static_cast<int64_t>(note.calls.size()))});
    }
    // Two passes of every part give the length of its loop; the first pass
    // holds its lead-in and one trip through the loop.
    engine::Engine ahead(s->song, rate);
    const int64_t maxTicks =
        playback::TickOfFrame(playback::SecondsToFrames(kNotesSeconds, rate), list.framesPerTick);
    const engine::LoopReport report = engine::LoopDetector::Run(ahead, 2, maxTicks);
    for (int part = 0; part < song::kPartCount; ++part) {
        const std::vector<int64_t>& ends = report.parts[part].passEnds;
        out->loopStart[part] = -1;
        if (ends.size() >= 2 && ends[1] > ends[0]) {
            out->loopLength[part] = i32(ends[1] - ends[0]);
            out->loopStart[part] = i32(ends[0] - (ends[1] - ends[0]));
        }
    }
    return out.release();
}
EMSCRIPTEN_KEEPALIVE int32_t vn_notes_count(const WebNotes* n) {
    return static_cast<int32_t>(n->notes.size() / WebNotes::kNoteFields);
}
EMSCRIPTEN_KEEPALIVE const int32_t* vn_notes_data(const WebNotes* n) {
    return n->notes.data();
}
EMSCRIPTEN_KEEPALIVE int32_t vn_notes_calls_size(const WebNotes* n) {
    return static_cast<int32_t>(n->calls.size());
}
EMSCRIPTEN_KEEPALIVE const int32_t* vn_notes_calls(const WebNotes* n) {
    return n->calls.data();
}
EMSCRIPTEN_KEEPALIVE double vn_notes_end_tick(const WebNotes* n) {
    return static_cast<double>(n->endTick);
}
EMSCRIPTEN_KEEPALIVE double vn_notes_loop_tick(const WebNotes* n) {
    return static_cast<double>(n->loopTick);
}
EMSCRIPTEN_KEEPALIVE int32_t vn_notes_part_loop_start(const WebNotes* n, int32_t part) {
    return n->loopStart.at(part);
}
EMSCRIPTEN_KEEPALIVE int32_t vn_notes_part_loop_length(const WebNotes* n, int32_t part) {
    return n->loopLength.at(part);
}
EMSCRIPTEN_KEEPALIVE void vn_notes_free(WebNotes* n) {
    delete n;
}

}  // extern "C"

namespace {

void RepeatRange(WebLive& live) {
    if (!live.range || !live.song) return;
    WebRange& range = *live.range;
    const playback::LiveSession::Status status = live.session.GetStatus();
    if (status.handingOver) return;  // a pass, a seek or a new version is on its way
    range.handedOver = false;
    if (!status.playing || status.paused || !status.ticks || status.song != live.song) return;
    if (!range.next || range.next->Song() != live.song) range.next = live.NewTake();
    const int64_t first = range.next->Ticks()->FrameOfTick(range.firstTick);
    if (!range.next->RunAheadTo(first, {}, WebLive::kRunAheadBudget)) return;
    const int64_t end = status.ticks->FrameOfTick(range.endTick);
    const bool inside =
        status.frame >= status.ticks->FrameOfTick(range.firstTick) && status.frame < end;
    if (!inside || !live.session.PlayAt(range.next, end, /*cut=*/true)) {
        live.session.PlayWhenReady(std::move(range.next), first);
    }
    range.next.reset();
    range.handedOver = true;
}

bool RangeWaits(const WebLive& live) {
    return live.range && live.range->handedOver;
}

}  // namespace

extern "C" {

// Repeats ticks [first, end) of the song from the next pass on, until called
// with end <= first, which lets the song play on from where it stands.
EMSCRIPTEN_KEEPALIVE void vn_live_range(WebLive* l, double first, double end) {
    if (end > first && first >= 0) {
        if (!l->range) l->range = std::make_unique<WebRange>();
        l->range->firstTick = static_cast<int64_t>(first);
        l->range->endTick = static_cast<int64_t>(end);
        // A pass handed over for the old range's end is replaced.
        if (l->range->handedOver && l->song) l->session.TakeOverWhenReady(l->NewTake(), 0);
        l->range->Forget();
        return;
    }
    // The pass handed over would jump back: this version plays on instead.
    if (RangeWaits(*l) && l->song) l->session.TakeOverWhenReady(l->NewTake(), 0);
    l->range.reset();
}

}  // extern "C"

// The voice workshop: the language's voice fields, a voice's envelopes as the
// chip model runs them, a keyboard playing a voice, and the voices of a
// register log. A voice travels as 42 values: algorithm, feedback, then the
// ten values of each op line, op1 first.

#include "playback/Audition.h"
#include "reglog/VoiceLift.h"
#include "song/VoiceFields.h"

namespace {

constexpr int32_t kVoiceValues = 2 + 4 * 10;

song::FMVoice VoiceOf(const int32_t* values) {
    song::FMVoice voice;
    voice.fbAlg = song::PackConnection(values[0], values[1]);
    for (std::size_t i = 0; i < 4; ++i) {
        std::array<int32_t, 10> op{};
        std::copy_n(values + 2 + 10 * i, op.size(), op.begin());
        voice.op[i] = song::PackOperator(op);
    }
    return voice;
}

const song::VoiceField* FieldOf(int32_t line, int32_t i) {
    if (line == 0 && i >= 0 && i < static_cast<int32_t>(song::kOpLineFields.size()))
        return &song::kOpLineFields[static_cast<std::size_t>(i)];
    if (line == 1 && i >= 0 && i < static_cast<int32_t>(song::kLfoLineFields.size()))
        return &song::kLfoLineFields[static_cast<std::size_t>(i)];
    return nullptr;
}

// A text made for the page, or why it could not be.
struct WebText {
    std::string text;
    bool ok = false;
};

}  // namespace

extern "C" {

EMSCRIPTEN_KEEPALIVE int32_t vn_voice_values() {
    return kVoiceValues;
}
// The largest value field `i` of an op line (`line` 0) or an lfo line
// (`line` 1) keeps (-1: kept whole), and its name ("" for the lfo line's
// unused three).
EMSCRIPTEN_KEEPALIVE int32_t vn_voice_field_largest(int32_t line, int32_t i) {
    const song::VoiceField* field = FieldOf(line, i);
    return field ? field->Largest() : 0;
}
EMSCRIPTEN_KEEPALIVE const char* vn_voice_field_name(int32_t line, int32_t i) {
    const song::VoiceField* field = FieldOf(line, i);
    return field ? field->name.data() : "";
}

// Operator `op`'s envelope output for MIDI note `note` held `hold` frames at
// `rate`: `points` values, `step` frames apart (playback::Audition::Envelope).
// Returns how many were written to `out`.
EMSCRIPTEN_KEEPALIVE int32_t vn_voice_envelope(const int32_t* values, int32_t op, int32_t note,
                                               uint32_t rate, double hold, double step,
                                               int32_t points, int32_t* out) {
    const std::vector<int32_t> levels =
        playback::Audition::Envelope(VoiceOf(values), op, note, rate, static_cast<int64_t>(hold),
                                     static_cast<int64_t>(step), points);
    std::copy(levels.begin(), levels.end(), out);
    return static_cast<int32_t>(levels.size());
}

// A keyboard playing one voice at `rate`, mixed into the audio thread's frames.
EMSCRIPTEN_KEEPALIVE playback::Audition* vn_audition_new(uint32_t rate) {
    return new playback::Audition(rate);
}
EMSCRIPTEN_KEEPALIVE void vn_audition_free(playback::Audition* a) {
    delete a;
}
EMSCRIPTEN_KEEPALIVE void vn_audition_voice(playback::Audition* a, const int32_t* values) {
    a->SetVoice(VoiceOf(values));
}
// MIDI note number, volume 0-15; 0 when the note is beyond the chip's blocks.
EMSCRIPTEN_KEEPALIVE int32_t vn_audition_note_on(playback::Audition* a, int32_t note,
                                                 int32_t volume) {
    return a->NoteOn(note, volume);
}
EMSCRIPTEN_KEEPALIVE void vn_audition_note_off(playback::Audition* a, int32_t note) {
    a->NoteOff(note);
}
EMSCRIPTEN_KEEPALIVE void vn_audition_all_off(playback::Audition* a) {
    a->AllNotesOff();
}
// Adds the keyboard's next `count` frames into `frames`.
EMSCRIPTEN_KEEPALIVE void vn_audition_mix(playback::Audition* a, int16_t* frames, int32_t count) {
    a->Mix(frames, count);
}

// The FM voices a register log (VGM or S98, not compressed: the page
// inflates a .vgz itself) keys on, as `velnari voices` prints them for a
// file named `name`; or why the log cannot be read.
EMSCRIPTEN_KEEPALIVE WebText* vn_log_voices(const uint8_t* data, int32_t size, const char* name) {
    auto* result = new WebText;
    const reglog::VoiceLiftResult lifted =
        reglog::LiftVoices(data, static_cast<std::size_t>(std::max(size, 0)), {});
    result->ok = lifted.fault.empty();
    result->text = result->ok ? reglog::VoiceDefinitions(lifted.voices, name) : lifted.fault;
    return result;
}
EMSCRIPTEN_KEEPALIVE int32_t vn_text_ok(const WebText* t) {
    return t->ok;
}
EMSCRIPTEN_KEEPALIVE const char* vn_text(const WebText* t) {
    return t->text.c_str();
}
EMSCRIPTEN_KEEPALIVE void vn_text_free(WebText* t) {
    delete t;
}

}  // extern "C"
