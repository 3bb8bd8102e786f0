// The audio thread: plays the song on the engine and posts what each channel
// plays for the page to draw. Everything musical happens in the engine; this
// file only moves frames and positions between it and the page.
//
// Messages in (port): {type: "init", module}, {type: "song", text, follow},
// {type: "play"}, {type: "pause"}, {type: "seek", frame}, {type: "mask", mask}.
// Messages out: {type: "ready"}, {type: "state", ...} about 30 times a second.
//
// Deliberate choices:
//   - A seek or a new song runs the engine ahead in slices of kRunAheadSlice
//     frames per audio quantum (about 1 ms of work), so the thread never
//     misses a quantum; the output is silent until the position is reached.
//     Positions far into a song take a moment, never a glitch.
//   - A new song while playing continues at the tick the old one had reached:
//     the old song keeps playing until the new one has caught up, then the two
//     cross-fade over one quantum.
//   - Each channel's scope and level come from an engine of its own that plays
//     the song with every other channel muted: the channel as the chip plays
//     it, not a guess from the registers. They follow the main engine and
//     catch up after it.

import { loadVelnari, PART_COUNT, PART_MASK_BITS } from "./velnari.js";

const kRunAheadSlice = 16384;
const kScopeRunAheadSlice = 4096;
const kScopeLength = 1024;
const kStateEvery = 1536; // frames between state messages
const kAllChannels = PART_MASK_BITS.reduce((a, b) => a | b, 0);

class Player {
    constructor(velnari, song, rate, mask) {
        this.song = song;
        this.main = song.engine(rate);
        this.main.setMask(mask);
        this.channels = PART_MASK_BITS.map((bit) => {
            const engine = song.engine(rate);
            engine.setMask(kAllChannels & ~bit);
            return engine;
        });
        this.target = 0; // frame the engines are heading for
    }
    free() {
        this.main.free();
        this.channels.forEach((e) => e.free());
        this.song.free();
    }
    // True once the main engine stands at the target.
    advance() {
        if (this.main.frame !== this.target) {
            return this.main.runAhead(this.target, kRunAheadSlice) === this.target;
        }
        return true;
    }
    get frame() {
        return this.main.frame;
    }
}

class VelnariProcessor extends AudioWorkletProcessor {
    constructor() {
        super();
        this.velnari = null;
        this.player = null;
        this.pending = null; // a new song catching up with the playing one
        this.playing = false;
        this.mask = 0;
        this.sinceState = 0;
        this.scopes = Array.from({ length: PART_COUNT }, () => new Float32Array(kScopeLength));
        this.scopeAt = 0;
        this.peaks = new Float32Array(PART_COUNT);
        this.port.onmessage = (e) =>
            this.onMessage(e.data).catch((error) => this.port.postMessage({ type: "error", message: String(error) }));
    }

    async onMessage(msg) {
        switch (msg.type) {
            case "init":
                this.velnari = await loadVelnari(msg.module);
                this.port.postMessage({ type: "ready" });
                break;
            case "song":
                this.loadSong(msg.text, msg.follow);
                break;
            case "play":
                this.playing = true;
                break;
            case "pause":
                this.playing = false;
                this.postState();
                break;
            case "seek":
                if (this.pending) {
                    this.player.free();
                    this.player = this.pending;
                    this.pending = null;
                }
                if (this.player) this.player.target = Math.max(0, Math.floor(msg.frame));
                this.postState();
                break;
            case "mask":
                this.mask = msg.mask;
                if (this.player) this.player.main.setMask(this.mask);
                if (this.pending) this.pending.main.setMask(this.mask);
                break;
        }
    }

    loadSong(text, follow) {
        const song = this.velnari.compile(text);
        if (!song.ok) {
            song.free();
            return;
        }
        const next = new Player(this.velnari, song, sampleRate, this.mask);
        if (this.pending) this.pending.free();
        this.pending = null;
        if (this.player && follow) {
            this.pending = next;
            this.pending.target = this.followFrame();
        } else {
            if (this.player) this.player.free();
            this.player = next;
        }
        this.postState();
    }

    // The frame of the pending song at the tick the playing song has reached,
    // at the same fraction of the tick.
    followFrame() {
        const old = this.player.main;
        return Math.round((old.frame / old.framesPerTick) * this.pending.main.framesPerTick);
    }

    process(inputs, outputs) {
        const out = outputs[0];
        const frames = out[0].length;
        if (!this.player || !this.playing) return true;

        if (this.pending) {
            this.pending.target = this.followFrame() + frames;
            if (this.pending.advance()) {
                // Caught up: this quantum fades from the old song to the new.
                this.pending.target = this.followFrame();
                this.pending.main.runAhead(this.pending.target);
                this.crossFade(out, frames);
                this.player.free();
                this.player = this.pending;
                this.pending = null;
                this.afterQuantum(frames);
                return true;
            }
        }
        if (!this.player.advance()) return true; // still seeking: silence
        this.renderInto(this.player.main, out, frames, 1, 0);
        this.player.target += frames;
        this.afterQuantum(frames);
        return true;
    }

    renderInto(engine, out, frames, gainFrom, gainStep) {
        const pcm = engine.render(frames);
        const left = out[0];
        const right = out[1] || out[0];
        for (let i = 0; i < frames; ++i) {
            const g = gainFrom + gainStep * i;
            left[i] += (pcm[2 * i] / 32768) * g;
            if (right !== left) right[i] += (pcm[2 * i + 1] / 32768) * g;
        }
    }

    crossFade(out, frames) {
        this.renderInto(this.player.main, out, frames, 1, -1 / frames);
        this.renderInto(this.pending.main, out, frames, 0, 1 / frames);
        this.pending.target += frames;
    }

    // Channel engines follow the main one; the state goes out now and then.
    afterQuantum(frames) {
        const p = this.player;
        const start = p.main.frame - frames;
        for (let c = 0; c < PART_COUNT; ++c) {
            const engine = p.channels[c];
            if (engine.frame !== start) {
                engine.runAhead(start, kScopeRunAheadSlice);
                continue;
            }
            const pcm = engine.render(frames);
            const scope = this.scopes[c];
            let at = this.scopeAt;
            let peak = this.peaks[c];
            for (let i = 0; i < frames; ++i) {
                const s = pcm[2 * i] / 32768;
                scope[at] = s;
                at = (at + 1) % kScopeLength;
                peak = Math.max(peak, Math.abs(s));
            }
            this.peaks[c] = peak;
        }
        this.scopeAt = (this.scopeAt + frames) % kScopeLength;
        this.sinceState += frames;
        if (this.sinceState >= kStateEvery) this.postState();
    }

    postState() {
        this.sinceState = 0;
        const p = this.player;
        const state = { type: "state", playing: this.playing, frame: 0, tick: 0, seeking: false };
        if (p) {
            state.frame = p.target;
            state.tick = p.main.tick;
            state.framesPerTick = p.main.framesPerTick;
            state.seeking = p.main.frame !== p.target;
            state.following = this.pending !== null;
            state.passes = Array.from({ length: PART_COUNT }, (_, k) => p.main.passes(k));
            state.active = Array.from({ length: PART_COUNT }, (_, k) => p.main.active(k));
            const scopes = this.scopes.map((s) => {
                const ordered = new Float32Array(kScopeLength);
                ordered.set(s.subarray(this.scopeAt), 0);
                ordered.set(s.subarray(0, this.scopeAt), kScopeLength - this.scopeAt);
                return ordered;
            });
            state.scopes = scopes;
            state.peaks = Array.from(this.peaks);
            this.peaks.fill(0);
        }
        this.port.postMessage(state);
    }
}

registerProcessor("velnari", VelnariProcessor);
