// The keyboard of the voice workshop: keys on screen, the computer's keys
// (two rows, an octave each) while the keyboard has the focus, and Web MIDI
// input where the browser offers it. The notes are played in the audio
// thread by the library's audition of the voice being edited, on top of the
// song (stop or mute it to hear the voice alone).
//
// Latency: the page notes when a key event happened; the audio thread says
// when the quantum holding the note's first sample has left it; the page
// adds the context's output latency and shows the sum. It also keeps (in
// `latencies`) when the browser's output clock says that sample is heard.

import { keyName } from "./notes.js";

const kWhite = [0, 2, 4, 5, 7, 9, 11];
// The computer's keys, by their place (not their letter): the lower row plays
// the first octave, the upper row the next.
const kKeyCodes = [
    ["KeyZ", "KeyS", "KeyX", "KeyD", "KeyC", "KeyV", "KeyG", "KeyB", "KeyH", "KeyN", "KeyJ", "KeyM"]
        .concat(["Comma", "KeyL", "Period"]),
    ["KeyQ", "Digit2", "KeyW", "Digit3", "KeyE", "KeyR", "Digit5", "KeyT", "Digit6", "KeyY", "Digit7", "KeyU"]
        .concat(["KeyI", "Digit9", "KeyO", "Digit0", "KeyP"]),
];
const kLowestOctave = 0; // MIDI octave numbers: 4 starts at note 60
const kHighestOctave = 7;

// A key's name as its title shows it, with the sharp sign: "C♯4".
const noteName = (note) => keyName(note).replace("#", "♯");

export class Keyboard {
    // options: {element, audio (resolves to {context, node}), status(text, fault),
    // onNote (a note was played)}; setVoice gives it the voice to play.
    constructor(options) {
        Object.assign(this, options);
        this.octave = 4;
        this.lastNote = 60;
        this.down = new Map(); // note -> what holds it ("mouse", a key code, "midi")
        this.sentVoice = null;
        this.pending = new Map(); // id -> when its key event happened (performance.now)
        this.nextId = 1;
        this.latencies = [];
        this.build();
    }

    build() {
        const keys = document.createElement("div");
        keys.className = "keys";
        keys.id = "piano";
        keys.tabIndex = 0;
        keys.setAttribute("role", "group");
        keys.setAttribute("aria-label", "keyboard: Z to M and Q to U play the voice; - and = change the octave");
        this.keys = keys;
        const controls = document.createElement("div");
        controls.className = "keys-controls";
        const down = button("Octave −", "an octave lower (-)", () => this.shift(-1));
        const up = button("Octave +", "an octave higher (=)", () => this.shift(1));
        this.octaveLabel = document.createElement("span");
        this.midiButton = button("MIDI input", "play the voice from a MIDI keyboard", () => this.connectMidi());
        this.midiButton.hidden = !navigator.requestMIDIAccess;
        this.latencyLabel = document.createElement("span");
        this.latencyLabel.className = "note";
        this.latencyLabel.id = "key-latency";
        controls.append(down, this.octaveLabel, up, this.midiButton, this.latencyLabel);
        this.element.append(controls, keys);
        this.drawKeys();

        keys.addEventListener("keydown", (e) => {
            if (e.ctrlKey || e.metaKey || e.altKey) return;
            if (e.code === "Minus" || e.code === "Equal") {
                this.shift(e.code === "Minus" ? -1 : 1);
            } else {
                const note = this.noteOfKey(e.code);
                if (note === null) return;
                if (!e.repeat) this.press(note, 15, e.code, e.timeStamp);
            }
            // The page's own keys (Space, R) do not act while the keyboard plays.
            e.preventDefault();
            e.stopPropagation();
        });
        keys.addEventListener("keyup", (e) => {
            const note = [...this.down].find(([, by]) => by === e.code)?.[0];
            if (note !== undefined) this.release(note);
        });
        keys.addEventListener("blur", () => {
            for (const [note, by] of this.down) if (by !== "midi") this.release(note);
        });
        keys.addEventListener("pointerdown", (e) => {
            const note = Number(e.target.dataset?.note);
            if (!Number.isInteger(note) || e.target.dataset.note === undefined) return;
            e.preventDefault();
            keys.focus();
            keys.setPointerCapture(e.pointerId);
            this.pointerNote = note;
            this.press(note, 15, "mouse", e.timeStamp);
        });
        const lift = () => {
            if (this.pointerNote !== undefined) this.release(this.pointerNote);
            this.pointerNote = undefined;
        };
        keys.addEventListener("pointerup", lift);
        keys.addEventListener("pointercancel", lift);
    }

    // Two octaves from the current one, as buttons the pointer plays.
    drawKeys() {
        this.octaveLabel.textContent = `C${this.octave}–B${this.octave + 1}`;
        const first = (this.octave + 1) * 12;
        const whites = [];
        const blacks = [];
        for (let note = first; note < first + 24; ++note) {
            const key = document.createElement("span");
            key.dataset.note = String(note);
            key.title = noteName(note);
            const white = kWhite.includes(note % 12);
            key.className = white ? "white" : "black";
            if (white) whites.push(key);
            else {
                // A black key sits over the gap after the white key before it.
                key.style.left = `calc(${whites.length} * 100% / 14 - 100% / 42)`;
                blacks.push(key);
            }
            if (this.down.has(note)) key.classList.add("down");
        }
        this.keys.replaceChildren(...whites, ...blacks);
    }

    shift(by) {
        this.octave = Math.min(kHighestOctave - 1, Math.max(kLowestOctave, this.octave + by));
        this.drawKeys();
    }

    noteOfKey(code) {
        for (let row = 0; row < 2; ++row) {
            const i = kKeyCodes[row].indexOf(code);
            if (i >= 0) return (this.octave + 1 + row) * 12 + i;
        }
        return null;
    }

    // The voice the keys play; sent to the audio thread when it changes.
    setVoice(values) {
        this.voiceValues = values;
        if (this.node && values && values.join() !== this.sentVoice) {
            this.node.port.postMessage({ type: "keys:voice", values });
            this.sentVoice = values.join();
        }
    }

    async press(note, volume, by, when) {
        if (!this.voiceValues) {
            this.status("the song has no FM voice for the keyboard to play", true);
            return;
        }
        this.down.set(note, by);
        this.mark(note, true);
        this.lastNote = note;
        this.onNote?.(note);
        if (!this.node) {
            const { context, node } = await this.audio();
            this.node = node;
            this.context = context;
        }
        if (this.context.state !== "running") await this.context.resume();
        this.setVoice(this.voiceValues);
        if (this.down.get(note) !== by) return; // released while the audio started
        const id = this.nextId++;
        this.pending.set(id, when);
        this.node.port.postMessage({ type: "keys:on", note, volume, id });
    }

    release(note) {
        this.down.delete(note);
        this.mark(note, false);
        this.node?.port.postMessage({ type: "keys:off", note });
    }

    mark(note, down) {
        this.keys.querySelector(`[data-note="${note}"]`)?.classList.toggle("down", down);
    }

    // {type: "keys:sounded", id}: the note's first quantum has left the audio thread.
    onMessage(msg) {
        if (msg.type !== "keys:sounded") return;
        const when = this.pending.get(msg.id);
        this.pending.delete(msg.id);
        if (when === undefined) return;
        const toWorklet = performance.now() - when;
        const output = (this.context.outputLatency || 0) * 1000 + (this.context.baseLatency || 0) * 1000;
        // The browser's own estimate of when that sample reaches the speaker.
        const stamp = this.context.getOutputTimestamp?.();
        const heard = stamp?.performanceTime
            ? stamp.performanceTime + (msg.time - stamp.contextTime) * 1000 - when
            : NaN;
        this.latencies.push({ toWorklet, output, heard });
        const ms = Math.round;
        this.latencyLabel.textContent =
            `latency ${ms(toWorklet + output)} ms (${ms(toWorklet)} to the audio thread + ${ms(output)} output)`;
    }

    async connectMidi() {
        try {
            const access = await navigator.requestMIDIAccess();
            const listen = () => {
                for (const input of access.inputs.values()) input.onmidimessage = (e) => this.midi(e);
                this.midiButton.textContent = `MIDI: ${access.inputs.size} input${access.inputs.size === 1 ? "" : "s"}`;
            };
            access.onstatechange = listen;
            listen();
        } catch (e) {
            this.status(`no MIDI input: ${e.message}`, true);
        }
    }

    // Note on and off of any channel; the velocity sets the volume (0-15).
    midi(e) {
        const [status, note, velocity] = e.data;
        const kind = status & 0xf0;
        if (kind === 0x90 && velocity > 0) this.press(note, velocity >> 3, "midi", e.timeStamp ?? performance.now());
        else if (kind === 0x80 || kind === 0x90) this.release(note);
    }
}

function button(text, title, onclick) {
    const b = document.createElement("button");
    b.textContent = text;
    b.title = title;
    b.onclick = onclick;
    return b;
}
