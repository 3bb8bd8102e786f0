// The audio thread: asks the library's live session (through the module's
// glue) for each quantum and posts the position. Everything musical happens
// in the library; this file only moves frames and positions between it and
// the page.
//
// Messages in (port): {type: "init", module}, {type: "song", text, follow},
// {type: "play"}, {type: "pause"}, {type: "seek", frame, serial}, {type: "mask", mask},
// {type: "range", first, end} (ticks on repeat; end <= first releases them),
// and the keyboard's "keys:" messages (keys-worklet.js).
// Messages out: {type: "ready"}, {type: "error", message}, and
// {type: "state", ...} about 30 times a second and after every change, with
// the serial of the last seek it follows.

import { loadVelnari, PART_COUNT } from "./velnari.js";
import { KeysInWorklet } from "./keys-worklet.js";

const kStateEvery = 1536; // frames between state messages

class VelnariProcessor extends AudioWorkletProcessor {
    constructor() {
        super();
        this.velnari = null;
        this.live = null;
        this.playing = false;
        this.sinceState = 0;
        this.seekSerial = 0;
        this.port.onmessage = (e) =>
            this.onMessage(e.data).catch((error) => this.port.postMessage({ type: "error", message: String(error) }));
    }

    async onMessage(msg) {
        if (msg.type === "init") {
            this.velnari = await loadVelnari(msg.module);
            this.live = this.velnari.live(sampleRate);
            this.keys = new KeysInWorklet(this.velnari, sampleRate, this.port);
            this.port.postMessage({ type: "ready" });
            return;
        }
        if (msg.type.startsWith("keys:")) return this.keys.onMessage(msg);
        switch (msg.type) {
            case "song": {
                const song = this.velnari.compile(msg.text);
                if (song.ok) this.live.play(song, msg.follow);
                song.free();
                break;
            }
            case "play":
            case "pause":
                this.playing = msg.type === "play";
                this.live.setPlaying(this.playing);
                break;
            case "seek":
                this.live.seek(Math.max(0, Math.floor(msg.frame)));
                this.seekSerial = msg.serial ?? 0;
                break;
            case "mask":
                this.live.setMask(msg.mask);
                break;
            case "range":
                this.live.repeat(msg.first, msg.end);
                break;
        }
        this.postState(currentFrame);
    }

    process(inputs, outputs) {
        if (!this.live) return true;
        const out = outputs[0];
        const frames = out[0].length;
        const pcm = this.live.fill(frames);
        this.keys.mix(this.live.ptr, frames);
        const left = out[0];
        const right = out[1] ?? out[0];
        for (let i = 0; i < frames; ++i) {
            left[i] = pcm[2 * i] / 32768;
            if (right !== left) right[i] = pcm[2 * i + 1] / 32768;
        }
        this.keys.sent();
        if (!this.playing) return true;
        this.sinceState += frames;
        if (this.sinceState >= kStateEvery) this.postState(currentFrame + frames);
        return true;
    }

    // `at`: the audio context's frame that the next frame rendered goes out as.
    postState(at) {
        this.sinceState = 0;
        const live = this.live;
        const state = { type: "state", playing: this.playing, frame: 0, at, serial: this.seekSerial };
        if (live?.hasSong) {
            state.frame = live.frame;
            state.tick = live.tick;
            state.framesPerTick = live.framesPerTick;
            state.seeking = live.seeking;
            state.following = live.following;
            state.passes = Array.from({ length: PART_COUNT }, (_, k) => live.passes(k));
            state.active = Array.from({ length: PART_COUNT }, (_, k) => live.active(k));
        }
        this.port.postMessage(state);
    }
}

registerProcessor("velnari", VelnariProcessor);
