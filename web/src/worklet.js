// The audio thread: plays the song on the engine and posts the position.
// Everything musical happens in the engine; this file only moves frames and
// positions between it and the page.
//
// Messages in (port): {type: "init", module}, {type: "song", text, follow},
// {type: "play"}, {type: "pause"}, {type: "seek", frame}, {type: "mask", mask}.
// Messages out: {type: "ready"}, {type: "error", message}, and
// {type: "state", ...} about 30 times a second and after every change.
//
// Deliberate choices:
//   - A seek or a new song runs the engine ahead by at most kRunAheadSlice
//     frames per audio quantum (well under a millisecond of work for the
//     example songs), so the thread never misses a quantum; the output is
//     silent until the position is reached. Positions far into a song take a
//     moment, never a glitch.
//   - A new song while playing continues at the tick the old one had reached,
//     at the same fraction of the tick: the old song keeps playing until the
//     new one has caught up, then the two cross-fade over one quantum.

import { loadVelnari, PART_COUNT } from "./velnari.js";

const kRunAheadSlice = 8192;
const kStateEvery = 1536; // frames between state messages

// A compiled song and the engine playing it, heading for frame `target`.
class Track {
    constructor(song, rate, mask) {
        this.song = song;
        this.engine = song.engine(rate);
        this.engine.setMask(mask);
        this.target = 0;
    }
    free() {
        this.engine.free();
        this.song.free();
    }
    // True once the engine stands at the target.
    advance() {
        if (this.engine.frame === this.target) return true;
        return this.engine.runAhead(this.target, kRunAheadSlice) === this.target;
    }
}

class VelnariProcessor extends AudioWorkletProcessor {
    constructor() {
        super();
        this.velnari = null;
        this.track = null;
        this.pending = null; // a new song catching up with the playing one
        this.playing = false;
        this.mask = 0;
        this.sinceState = 0;
        this.port.onmessage = (e) =>
            this.onMessage(e.data).catch((error) => this.port.postMessage({ type: "error", message: String(error) }));
    }

    async onMessage(msg) {
        switch (msg.type) {
            case "init":
                this.velnari = await loadVelnari(msg.module);
                this.port.postMessage({ type: "ready" });
                return;
            case "song":
                this.loadSong(msg.text, msg.follow);
                break;
            case "play":
                this.playing = true;
                break;
            case "pause":
                this.playing = false;
                break;
            case "seek":
                if (this.pending) this.swap();
                if (this.track) this.track.target = Math.max(0, Math.floor(msg.frame));
                break;
            case "mask":
                this.mask = msg.mask;
                this.track?.engine.setMask(this.mask);
                this.pending?.engine.setMask(this.mask);
                break;
        }
        this.postState();
    }

    loadSong(text, follow) {
        const song = this.velnari.compile(text);
        if (!song.ok) {
            song.free();
            return;
        }
        this.pending?.free();
        this.pending = new Track(song, sampleRate, this.mask);
        if (this.track && follow) {
            this.pending.target = this.followFrame();
            if (!this.playing) this.swap();
        } else {
            this.swap();
        }
    }

    swap() {
        this.track?.free();
        this.track = this.pending;
        this.pending = null;
    }

    // The frame of the pending song at the tick the playing song has reached.
    followFrame() {
        const old = this.track;
        return Math.round((old.target / old.engine.framesPerTick) * this.pending.engine.framesPerTick);
    }

    process(inputs, outputs) {
        const out = outputs[0];
        const frames = out[0].length;
        if (!this.track || !this.playing) return true;

        const ready = this.track.advance();
        if (ready && this.pending) {
            this.pending.target = this.followFrame();
            if (this.pending.advance()) {
                // Caught up: this quantum fades from the old song to the new.
                this.renderInto(this.track, out, frames, 1, -1 / frames);
                this.renderInto(this.pending, out, frames, 0, 1 / frames);
                this.swap();
                this.afterQuantum(frames);
                return true;
            }
        }
        if (!ready) return true; // still seeking: silence
        this.renderInto(this.track, out, frames, 1, 0);
        this.afterQuantum(frames);
        return true;
    }

    // Adds the track's next frames into the output at a gain that moves from
    // `gain` by `step` per frame.
    renderInto(track, out, frames, gain, step) {
        const pcm = track.engine.render(frames);
        track.target += frames;
        const left = out[0];
        const right = out[1] ?? out[0];
        for (let i = 0; i < frames; ++i, gain += step) {
            left[i] += (pcm[2 * i] / 32768) * gain;
            if (right !== left) right[i] += (pcm[2 * i + 1] / 32768) * gain;
        }
    }

    afterQuantum(frames) {
        this.sinceState += frames;
        if (this.sinceState >= kStateEvery) this.postState();
    }

    postState() {
        this.sinceState = 0;
        const t = this.track;
        const state = { type: "state", playing: this.playing, frame: 0 };
        if (t) {
            const e = t.engine;
            state.frame = t.target;
            state.tick = e.tick;
            state.framesPerTick = e.framesPerTick;
            state.seeking = e.frame !== t.target;
            state.following = this.pending !== null;
            state.passes = Array.from({ length: PART_COUNT }, (_, k) => e.passes(k));
            state.active = Array.from({ length: PART_COUNT }, (_, k) => e.active(k));
        }
        this.port.postMessage(state);
    }
}

registerProcessor("velnari", VelnariProcessor);
