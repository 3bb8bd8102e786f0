// The WebAssembly module's C interface as JavaScript objects. Songs, engines
// and live sessions are handles into the module's memory; free them when done.

import createVelnari from "velnari-wasm";

export const PART_COUNT = 6;
// Channel mute bits of the chip, by part: FM 1-3 are bits 0-2, SSG A-C 6-8.
export const PART_MASK_BITS = [1 << 0, 1 << 1, 1 << 2, 1 << 6, 1 << 7, 1 << 8];

export function chipMaskMuting(mutedParts) {
    let mask = 0;
    mutedParts.forEach((muted, part) => {
        if (muted) mask |= PART_MASK_BITS[part];
    });
    return mask;
}

// Loads the module; `wasmModule` (a compiled WebAssembly.Module) spares the
// fetch where the page has compiled it already, as for the audio thread.
export async function loadVelnari(wasmModule) {
    const options = {};
    if (wasmModule) {
        // The audio thread has no URL class: name the file plainly.
        options.locateFile = (file) => file;
        options.instantiateWasm = (imports, done) => {
            WebAssembly.instantiate(wasmModule, imports).then((instance) => done(instance, wasmModule));
            return {};
        };
    }
    return new Velnari(await createVelnari(options));
}

export class Velnari {
    constructor(module) {
        this.m = module;
        this.encoder = typeof TextEncoder === "function" ? new TextEncoder() : null;
    }

    // Compiles MML text; the result holds either a song or the first fault.
    compile(text) {
        return this.call(this.m._vn_compile, text);
    }

    // Compiles and reviews: the result also lists the warnings.
    review(text) {
        return this.call(this.m._vn_review, text);
    }

    // Ticks in a bar, as positions count bars.
    get ticksPerBar() {
        return this.m._vn_ticks_per_bar();
    }

    // The live session of the audio thread, at `rate`: what it plays, where,
    // and each quantum's frames.
    live(rate) {
        return new LiveSession(this, this.m._vn_live_new(rate));
    }

    call(compile, text) {
        const bytes = encodeText(this.encoder, text);
        const ptr = this.m._malloc(Math.max(bytes.length, 1));
        this.m.HEAPU8.set(bytes, ptr);
        const handle = compile(ptr, bytes.length);
        this.m._free(ptr);
        return new CompiledSong(this, handle);
    }
}

// UTF-8 bytes of the editor's text. The audio thread has no TextEncoder, so
// it encodes by hand.
function encodeText(encoder, text) {
    if (encoder) return encoder.encode(text);
    const out = [];
    for (const ch of text) {
        let c = ch.codePointAt(0);
        if (c < 0x80) out.push(c);
        else if (c < 0x800) out.push(0xc0 | (c >> 6), 0x80 | (c & 63));
        else if (c < 0x10000) out.push(0xe0 | (c >> 12), 0x80 | ((c >> 6) & 63), 0x80 | (c & 63));
        else out.push(0xf0 | (c >> 18), 0x80 | ((c >> 12) & 63), 0x80 | ((c >> 6) & 63), 0x80 | (c & 63));
    }
    return Uint8Array.from(out);
}

export class CompiledSong {
    constructor(velnari, handle) {
        this.v = velnari;
        this.handle = handle;
        const m = velnari.m;
        this.ok = m._vn_song_ok(handle) !== 0;
        this.fault = this.ok
            ? null
            : {
                  line: m._vn_fault_line(handle),
                  column: m._vn_fault_column(handle),
                  message: m.UTF8ToString(m._vn_fault_text(handle)),
              };
        // {line (0: the whole song), column (0: not known), kind, text}
        this.warnings = [];
        for (let i = 0; i < m._vn_warning_count(handle); ++i) {
            this.warnings.push({
                line: m._vn_warning_line(handle, i),
                column: m._vn_warning_column(handle, i),
                length: m._vn_warning_length(handle, i),
                kind: m.UTF8ToString(m._vn_warning_kind(handle, i)),
                text: m.UTF8ToString(m._vn_warning_text(handle, i)),
            });
        }
        // Each use of an extension of the language: {line, column, length, text}.
        this.plainDialect = [];
        for (let i = 0; i < m._vn_plain_count(handle); ++i) {
            this.plainDialect.push({
                line: m._vn_plain_line(handle, i),
                column: m._vn_plain_column(handle, i),
                length: m._vn_plain_length(handle, i),
                text: m.UTF8ToString(m._vn_plain_text(handle, i)),
            });
        }
        // The song's #title; "" when it has none.
        this.title = this.ok ? m.UTF8ToString(m._vn_song_title(handle)) : "";
        this.partsUsed = [];
        for (let p = 0; p < PART_COUNT; ++p) this.partsUsed.push(m._vn_song_part_used(handle, p) !== 0);
    }

    // Frames per tick at `rate`.
    framesPerTick(rate) {
        return this.v.m._vn_song_frames_per_tick(this.handle, rate);
    }

    // Where tick `tick` starts, in frames at `rate`, and the tick that
    // sounds at frame `frame`, tempo changes included.
    frameOfTick(rate, tick) {
        return this.v.m._vn_song_frame_of_tick(this.handle, rate, tick);
    }
    tickOfFrame(rate, frame) {
        return this.v.m._vn_song_tick_of_frame(this.handle, rate, frame);
    }

    // The length the page shows, in frames at `rate`: the first pass (at
    // least a bar), or 64 bars when it does not end within 2000 bars.
    lengthFrames(rate) {
        return this.v.m._vn_song_length(this.handle, rate);
    }

    // The song as a register log file, "vgm" or "s98", as the command line
    // writes it (first whole-song loop with its loop point), titled `title`;
    // null for a log too large for velnari to read back.
    registerLog(format, title) {
        const m = this.v.m;
        const name = encodeText(this.v.encoder, title + "\0");
        const ptr = m._malloc(name.length);
        m.HEAPU8.set(name, ptr);
        const bytes = m._vn_song_log(this.handle, format === "s98" ? 1 : 0, ptr);
        m._free(ptr);
        if (!bytes) return null;
        const copy = m.HEAPU8.slice(m._vn_bytes_data(bytes), m._vn_bytes_data(bytes) + m._vn_bytes_size(bytes));
        m._vn_bytes_free(bytes);
        return copy;
    }

    // The frames of a download, with chip mute bits `mask`: `amount` passes
    // from the start (byPasses) or `amount` seconds from frame `position`, as
    // the library plans them; null when the passes do not end within 2000 bars.
    download(rate, mask, byPasses, amount, position) {
        const m = this.v.m;
        const render = m._vn_render_new(this.handle, rate, mask >>> 0, byPasses ? 1 : 0, amount, position);
        if (!render) return null;
        const pcm = new Int16Array(m._vn_render_frames_left(render) * 2);
        const block = 65536;
        const ptr = m._malloc(block * 4);
        for (let done = 0; ; ) {
            const n = m._vn_render_fill(render, ptr, block);
            if (n === 0) break;
            pcm.set(new Int16Array(m.HEAP16.buffer, ptr, n * 2), done * 2);
            done += n;
        }
        m._free(ptr);
        m._vn_render_free(render);
        return pcm;
    }

    // An engine at tick 0; its output is the command line's for the same
    // rate and volumes.
    engine(rate, fmVolume = 0, ssgVolume = 0) {
        if (!this.ok) throw new Error("the song did not compile");
        return new Engine(this.v, this.v.m._vn_engine_new(this.handle, rate, fmVolume, ssgVolume), rate);
    }

    free() {
        this.v.m._vn_song_free(this.handle);
        this.handle = 0;
    }
}

export class Engine {
    constructor(velnari, handle, rate) {
        this.m = velnari.m;
        this.handle = handle;
        this.rate = rate;
        this.capacity = 0;
        this.ptr = 0;
        this.view = null;
    }

    // Renders `frames` stereo frames; returns an Int16Array view of them,
    // valid until the next call that may grow the module's memory.
    render(frames) {
        if (frames > this.capacity) {
            if (this.ptr) this.m._free(this.ptr);
            this.capacity = frames;
            this.ptr = this.m._malloc(frames * 4);
            this.view = null;
        }
        this.m._vn_engine_render(this.handle, this.ptr, frames);
        // The same view serves every call of the same size (the audio thread
        // renders one quantum at a time and should not allocate for it), until
        // the module's memory grows and replaces its buffer.
        const buffer = this.m.HEAP16.buffer;
        if (!this.view || this.view.buffer !== buffer || this.view.length !== frames * 2) {
            this.view = new Int16Array(buffer, this.ptr, frames * 2);
        }
        return this.view;
    }

    // Moves toward `frame` by at most `budget` frames of work; returns the
    // frame reached. Output from `frame` on equals a render from the start.
    runAhead(frame, budget = 0x7fffffff) {
        return this.m._vn_engine_run_ahead(this.handle, frame, budget);
    }
    setMask(mask) {
        this.m._vn_engine_set_mask(this.handle, mask >>> 0);
    }
    get frame() {
        return this.m._vn_engine_frame(this.handle);
    }
    get tick() {
        return this.m._vn_engine_tick(this.handle);
    }
    get framesPerTick() {
        return this.m._vn_engine_frames_per_tick(this.handle);
    }
    passes(part) {
        return this.m._vn_engine_part_passes(this.handle, part);
    }
    active(part) {
        return this.m._vn_engine_part_active(this.handle, part) !== 0;
    }
    free() {
        if (this.ptr) this.m._free(this.ptr);
        this.m._vn_engine_free(this.handle);
        this.handle = 0;
    }
}

// A song playing live (the library's live session): a new version takes over
// at the same tick, a seek runs ahead in slices, every change cross-fades.
export class LiveSession {
    constructor(velnari, handle) {
        this.m = velnari.m;
        this.handle = handle;
        this.capacity = 0;
        this.ptr = 0;
        this.view = null;
    }

    // Plays `song` (which may be freed after): from the tick reached when
    // `follow` and a song plays, otherwise from its beginning.
    play(song, follow) {
        this.m._vn_live_song(this.handle, song.handle, follow ? 1 : 0);
    }
    seek(frame) {
        this.m._vn_live_seek(this.handle, frame);
    }
    setPlaying(playing) {
        this.m._vn_live_set_playing(this.handle, playing ? 1 : 0);
    }
    setMask(mask) {
        this.m._vn_live_set_mask(this.handle, mask >>> 0);
    }
    // Repeats ticks [first, end) from the next pass on; end <= first releases them.
    repeat(first, end) {
        this.m._vn_live_range(this.handle, first, end);
    }

    // The next `frames` stereo frames as an Int16Array view, valid until the
    // next call that may grow the module's memory (one view serves every
    // quantum of the same size: the audio thread should not allocate).
    fill(frames) {
        if (frames > this.capacity) {
            if (this.ptr) this.m._free(this.ptr);
            this.capacity = frames;
            this.ptr = this.m._malloc(frames * 4);
            this.view = null;
        }
        this.m._vn_live_fill(this.handle, this.ptr, frames);
        const buffer = this.m.HEAP16.buffer;
        if (!this.view || this.view.buffer !== buffer || this.view.length !== frames * 2) {
            this.view = new Int16Array(buffer, this.ptr, frames * 2);
        }
        return this.view;
    }

    get hasSong() {
        return this.m._vn_live_has_song(this.handle) !== 0;
    }
    get frame() {
        return this.m._vn_live_frame(this.handle);
    }
    get tick() {
        return this.m._vn_live_tick(this.handle);
    }
    get framesPerTick() {
        return this.m._vn_live_frames_per_tick(this.handle);
    }
    get seeking() {
        return this.m._vn_live_seeking(this.handle) !== 0;
    }
    get following() {
        return this.m._vn_live_following(this.handle) !== 0;
    }
    passes(part) {
        return this.m._vn_live_part_passes(this.handle, part);
    }
    active(part) {
        return this.m._vn_live_part_active(this.handle, part) !== 0;
    }
    free() {
        if (this.ptr) this.m._free(this.ptr);
        this.m._vn_live_free(this.handle);
        this.handle = 0;
    }
}
