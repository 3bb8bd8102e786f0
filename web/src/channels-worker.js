// What each channel plays, for the scopes and meters: a worker (off the audio
// thread) runs one engine per channel, each playing the song with every other
// channel muted, so a scope shows the channel as the chip plays it. The page
// tells it where playback stands; it answers with the samples of each channel
// from there.
//
// Messages in: {type: "init", module}, {type: "song", text},
// {type: "at", frame}. Out: {type: "window", frame, samples: [6 Float32Array],
// peaks: [6]}.
//
// Deliberate choices:
//   - The engines follow playback; a seek or a new song makes them run ahead
//     from the start, one channel after the other, so the channels come back
//     one by one rather than all late together.
//   - Only the latest position counts: positions that arrive while the
//     engines run ahead are dropped.

import { loadVelnari, PART_MASK_BITS } from "./velnari.js";

const kRate = 44100;
const kWindow = 1024; // frames shown per channel
const kAllChannels = PART_MASK_BITS.reduce((a, b) => a | b, 0);
const kSlice = 1 << 16; // run-ahead frames between looks at the message queue
const kSlack = 4 * kWindow; // a position this far behind the engines is taken as theirs

let velnari = null;
let song = null;
let engines = [];
let wanted = null; // the latest playback position not yet answered

function setSong(text) {
    const next = velnari.compile(text);
    if (!next.ok) {
        next.free();
        return;
    }
    engines.forEach((e) => e.free());
    song?.free();
    song = next;
    engines = PART_MASK_BITS.map((bit) => {
        const engine = song.engine(kRate);
        engine.setMask(kAllChannels & ~bit);
        return engine;
    });
}

// One step of work toward the wanted position; true while more is needed.
function work() {
    if (wanted === null || !engines.length) return false;
    const at = engines[engines.length - 1].frame;
    if (wanted < at && at - wanted <= kSlack) wanted = at;
    for (const engine of engines) {
        if (engine.frame !== wanted) {
            engine.runAhead(wanted, kSlice);
            return true;
        }
    }
    const samples = [];
    const peaks = [];
    for (const engine of engines) {
        const pcm = engine.render(kWindow);
        const mono = new Float32Array(kWindow);
        let peak = 0;
        for (let i = 0; i < kWindow; ++i) {
            mono[i] = pcm[2 * i] / 32768;
            peak = Math.max(peak, Math.abs(mono[i]));
        }
        samples.push(mono);
        peaks.push(peak);
    }
    postMessage({ type: "window", frame: wanted, samples, peaks }, samples.map((s) => s.buffer));
    wanted = null;
    return false;
}

let scheduled = false;
function schedule() {
    if (scheduled) return;
    scheduled = true;
    setTimeout(() => {
        scheduled = false;
        if (work()) schedule();
    }, 0);
}

onmessage = async (e) => {
    const msg = e.data;
    if (msg.type === "init") {
        velnari = await loadVelnari(msg.module);
        postMessage({ type: "ready" });
    } else if (msg.type === "song") {
        setSong(msg.text);
    } else if (msg.type === "at") {
        wanted = Math.max(0, Math.floor(msg.frame));
        schedule();
    }
};
