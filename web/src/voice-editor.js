// The voice workshop: the FM voice or SSG envelope under the editor's cursor
// (or picked from the list), drawn and edited. An FM voice shows its
// algorithm and feedback, and per operator every value as a slider and a
// number, within the language's own ranges, with the operator's envelope as
// the chip model runs it for a note held one bar at the song's tempo. An SSG
// envelope shows its levels over ticks, set by dragging or from the keys.
// Changing a value rewrites that value in the text, one undo step per drag
// (or run of key presses); the page then recompiles it as any edit, so what
// plays follows. The keyboard (keyboard.js) plays the voice.

import { EditorView } from "@codemirror/view";
import { Transaction } from "@codemirror/state";
import { isolateHistory } from "@codemirror/commands";
import { definitionAt, LFO_VALUES, OP_VALUES, readDefinitions, voiceValues } from "./voice-text.js";
import { VoiceTools } from "./voice-module.js";
import { Keyboard } from "./keyboard.js";

const $ = (id) => document.getElementById(id);
const kSvg = "http://www.w3.org/2000/svg";

// The envelope drawings: a note held one bar, then a half bar released.
const kEnvelopePoints = 240;
const kDrawnDecibels = 96; // 8184 / 8 steps of 6.02 / 64 dB
const kDecibelsPerUnit = 6.0206 / 64 / 8; // the envelope output is in 1/256 octave, steps of 8

// Where each operator box stands in the algorithm drawing (x, y of its
// centre in a 200 × 92 box), and which operator modulates which.
const kAlgorithms = [
    { at: [[20, 46], [66, 46], [112, 46], [158, 46]], edges: [[0, 1], [1, 2], [2, 3]] },
    { at: [[30, 22], [30, 70], [96, 46], [158, 46]], edges: [[0, 2], [1, 2], [2, 3]] },
    { at: [[96, 22], [30, 70], [96, 70], [158, 46]], edges: [[1, 2], [0, 3], [2, 3]] },
    { at: [[30, 22], [96, 22], [96, 70], [158, 46]], edges: [[0, 1], [1, 3], [2, 3]] },
    { at: [[60, 22], [140, 22], [60, 70], [140, 70]], edges: [[0, 1], [2, 3]] },
    { at: [[50, 46], [140, 14], [140, 46], [140, 78]], edges: [[0, 1], [0, 2], [0, 3]] },
    { at: [[50, 14], [140, 14], [140, 46], [140, 78]], edges: [[0, 1]] },
    { at: [[140, 12], [140, 35], [140, 58], [140, 81]], edges: [] },
];
// Which operators (op1..op4) are heard, per algorithm.
const kCarriers = [[3], [3], [3], [3], [1, 3], [1, 2, 3], [1, 2, 3], [0, 1, 2, 3]];

// An SSG envelope's levels, and how far Page Up and Page Down move one.
const kLargestLevel = 15;
const kLevelPage = 4;
const clampLevel = (level) => Math.min(kLargestLevel, Math.max(0, level));

// The user event of a value written from the panel.
const kVoiceEdit = "input.type.voice";

// For the editor's history: the changes of one gesture join one undo step
// even where they stand apart in the text (a drag over several levels);
// the first change of each gesture keeps it apart from what came before.
export function joinVoiceEdits(tr, adjacent) {
    return adjacent || tr.annotation(Transaction.userEvent) === kVoiceEdit;
}

let workshop = null;

// The editor's listener: the panel follows the cursor and the text.
export const voiceWorkshopListener = EditorView.updateListener.of((u) => {
    if (workshop && (u.docChanged || u.selectionSet)) workshop.update(u.docChanged);
});

// Messages from the audio thread about the keyboard's notes.
export function onKeysMessage(msg) {
    workshop?.keyboard.onMessage(msg);
}

// A recompiled song (another song opened in the editor, too): the panel
// reads its text again, and the envelopes follow its tempo.
export function voiceSongCompiled() {
    workshop?.update(true);
}

// options: {editor, velnari, song (the last compiled song), audio (resolves
// to {context, node}), status(text, fault), rate}
export function startVoiceWorkshop(options) {
    workshop = new VoiceWorkshop(options);
    workshop.update(true);
    return workshop;
}

// Register logs dropped on the page: their voices, ready to paste.
export function isRegisterLogFile(file) {
    return /\.(vgm|vgz|s98)$/i.test(file.name);
}
export function openRegisterLogs(files) {
    return workshop?.openLogs(files);
}

class VoiceWorkshop {
    constructor(options) {
        Object.assign(this, options);
        this.tools = new VoiceTools(this.velnari);
        this.definitions = { voices: [], envelopes: [] };
        this.current = null; // {kind: "voice" | "envelope", index}
        // The gesture under way (see gestureEvents): the time of its first
        // change (null until it makes one), and whether it is the pointer's
        // or the keys'.
        this.gesture = null;
        this.gestureBy = null;
        this.ssgStep = 0; // the envelope step the Tab key goes to
        this.opFields = Array.from({ length: OP_VALUES }, (_, i) => this.tools.field("op", i));
        this.lfoFields = Array.from({ length: LFO_VALUES }, (_, i) => this.tools.field("lfo", i));
        this.keyboard = new Keyboard({
            element: $("keyboard"),
            audio: this.audio,
            status: this.status,
            onNote: () => this.draw(),
        });
        // For the browser's developer tools and the tests: the latencies measured.
        window.velnariKeys = this.keyboard;
        this.build();
    }

    // ---- which definition ------------------------------------------------

    update(docChanged) {
        const doc = this.editor.state.doc;
        if (docChanged) this.definitions = readDefinitions(doc);
        const at = definitionAt(this.definitions, this.editor.state.selection.main.head);
        if (at) {
            const list = at.kind === "voice" ? this.definitions.voices : this.definitions.envelopes;
            this.current = { kind: at.kind, index: list.indexOf(at.item) };
        } else if (this.current && !this.item()) {
            this.current = null;
        }
        if (!this.current && this.definitions.voices.length) this.current = { kind: "voice", index: 0 };
        this.fillList();
        this.show();
    }

    item() {
        if (!this.current) return null;
        const list = this.current.kind === "voice" ? this.definitions.voices : this.definitions.envelopes;
        return list[this.current.index] ?? null;
    }

    voiceForKeys() {
        const voice = this.current?.kind === "voice" ? this.item() : this.definitions.voices[0];
        return voice ? voiceValues(voice) : null;
    }

    fillList() {
        const select = $("voice-list");
        const options = [
            ...this.definitions.voices.map((v, i) => [`voice:${i}`, `FM voice @${v.number} (line ${v.line})`]),
            ...this.definitions.envelopes.map((e, i) => [
                `envelope:${i}`,
                `SSG envelope @${e.number} (line ${e.line})`,
            ]),
        ];
        const key = options.map((o) => o.join("=")).join("|");
        if (select.dataset.key !== key) {
            select.replaceChildren(...options.map(([value, label]) => new Option(label, value)));
            select.dataset.key = key;
        }
        select.disabled = options.length === 0;
        if (this.current) select.value = `${this.current.kind}:${this.current.index}`;
    }

    // Moves the editor's cursor to the definition chosen in the list.
    choose(value) {
        const [kind, index] = value.split(":");
        const list = kind === "voice" ? this.definitions.voices : this.definitions.envelopes;
        const item = list[Number(index)];
        if (!item) return;
        this.current = { kind, index: Number(index) };
        this.editor.dispatch({ selection: { anchor: item.from }, scrollIntoView: true });
        this.show();
    }

    // ---- the panels ------------------------------------------------------

    build() {
        $("voice-list").onchange = (e) => this.choose(e.target.value);
        // Algorithm and feedback, then the four operators.
        const head = $("voice-head");
        this.algorithmSvg = document.createElementNS(kSvg, "svg");
        this.algorithmSvg.setAttribute("viewBox", "0 0 200 92");
        this.algorithmSvg.setAttribute("class", "algorithm");
        this.algorithmSvg.setAttribute("role", "img");
        head.append(this.algorithmSvg);
        const lfo = document.createElement("div");
        lfo.className = "voice-fields";
        head.append(lfo);
        this.lfoInputs = [3, 4].map((i) => {
            const { name, largest } = this.lfoFields[i];
            return this.fieldRow(lfo, name.replace(/^the /, ""), largest, (v) => this.writeValue(["lfo", i], v));
        });
        const ops = $("voice-ops");
        this.opViews = [0, 1, 2, 3].map((k) => {
            const card = document.createElement("fieldset");
            card.className = "operator";
            const legend = document.createElement("legend");
            card.append(legend);
            const canvas = document.createElement("canvas");
            canvas.width = 240;
            canvas.height = 72;
            canvas.setAttribute("role", "img");
            card.append(canvas);
            const fields = document.createElement("div");
            fields.className = "voice-fields";
            card.append(fields);
            ops.append(card);
            const inputs = this.opFields.map((f, i) => {
                const write = (v) => this.writeValue(["op", k, i], v);
                return this.fieldRow(fields, `op${k + 1} ${f.name}`, f.largest, write, f.name);
            });
            return { card, legend, canvas, inputs };
        });
        this.buildEnvelopeEditor();
    }

    // A slider and a number for one value, both limited to 0..largest.
    fieldRow(parent, label, largest, write, shortName = label) {
        const row = document.createElement("label");
        row.className = "voice-field";
        const name = document.createElement("span");
        name.textContent = shortName;
        const slider = document.createElement("input");
        slider.type = "range";
        const number = document.createElement("input");
        number.type = "number";
        for (const input of [slider, number]) {
            input.min = "0";
            input.max = String(largest);
            input.step = "1";
        }
        slider.setAttribute("aria-label", label);
        number.setAttribute("aria-label", `${label} value`);
        row.append(name, slider, number);
        parent.append(row);
        this.gestureEvents(slider);
        slider.addEventListener("input", () => {
            number.value = slider.value;
            write(Number(slider.value));
        });
        number.addEventListener("change", () => {
            // What cannot be kept is not entered: the number goes back into range.
            const value = Math.min(largest, Math.max(0, Math.round(Number(number.value) || 0)));
            number.value = String(value);
            slider.value = String(value);
            this.writeAlone(() => write(value));
        });
        return { row, slider, number };
    }

    // ---- undo steps ------------------------------------------------------

    // The changes of one gesture on a control are one undo step: a drag, or a
    // run of key presses while it keeps the focus. A pointer going down on
    // it, a key after a drag, and the focus leaving it each end the gesture
    // before; the next change opens a new step.
    gestureEvents(control) {
        control.addEventListener("pointerdown", () => this.endGesture("pointer"));
        control.addEventListener("keydown", () => {
            if (this.gestureBy !== "keys") this.endGesture("keys");
        });
        control.addEventListener("blur", () => this.endGesture(null));
    }

    endGesture(by) {
        this.gesture = null;
        this.gestureBy = by;
    }

    // A change of its own (a number typed): one undo step.
    writeAlone(write) {
        this.endGesture(null);
        write();
        this.endGesture(null);
    }

    show() {
        const item = this.item();
        const voice = this.current?.kind === "voice" ? item : null;
        const envelope = this.current?.kind === "envelope" ? item : null;
        $("voice-editor").hidden = !voice;
        $("ssg-editor").hidden = !envelope;
        $("voice-where").textContent = item
            ? ""
            : "The song defines no FM voice or SSG envelope: write a sound: or ssgenv: line.";
        if (voice) this.showVoice(voice);
        if (envelope) this.showEnvelope(envelope);
        this.keyboard.setVoice(this.voiceForKeys());
    }

    showVoice(voice) {
        const set = ({ row, slider, number }, v, largest) => {
            const editable = v && !v.carried && !v.padded;
            slider.disabled = number.disabled = !editable;
            const value = v?.value ?? 0;
            slider.value = String(Math.min(largest, Math.max(0, value)));
            if (document.activeElement !== number) number.value = String(value);
            row.classList.toggle("out-of-range", value < 0 || value > largest);
            row.title = !v
                ? "not a plain number in the text"
                : v.carried
                  ? "not written in this voice: kept from the voice defined before it"
                  : v.padded
                    ? "not written in the line (0)"
                    : value < 0 || value > largest
                      ? `${value} is out of range: the chip keeps its low bits`
                      : "";
        };
        set(this.lfoInputs[0], voice.lfo[3], this.lfoFields[3].largest);
        set(this.lfoInputs[1], voice.lfo[4], this.lfoFields[4].largest);
        const carriers = kCarriers[(voice.lfo[3]?.value ?? 0) & 7];
        this.opViews.forEach((view, k) => {
            view.legend.textContent = `op${k + 1} · ${carriers.includes(k) ? "carrier" : "modulator"}`;
            view.inputs.forEach((input, i) => set(input, voice.ops[k][i], this.opFields[i].largest));
        });
        this.drawAlgorithm(voice);
        this.draw();
    }

    drawAlgorithm(voice) {
        const algorithm = (voice.lfo[3]?.value ?? 0) & 7;
        const feedback = (voice.lfo[4]?.value ?? 0) & 7;
        const { at, edges } = kAlgorithms[algorithm];
        const carriers = kCarriers[algorithm];
        const svg = this.algorithmSvg;
        const heard = carriers.map((k) => `op${k + 1}`).join(", ");
        svg.setAttribute("aria-label", `algorithm ${algorithm}, feedback ${feedback}; carriers: ${heard}`);
        const parts = [];
        const line = (x1, y1, x2, y2, cls = "link") =>
            parts.push(`<line class="${cls}" x1="${x1}" y1="${y1}" x2="${x2}" y2="${y2}"/>`);
        for (const [a, b] of edges) line(at[a][0] + 13, at[a][1], at[b][0] - 13, at[b][1]);
        // The carriers join one output line on the right.
        const ys = carriers.map((k) => at[k][1]);
        for (const k of carriers) line(at[k][0] + 13, at[k][1], 184, at[k][1]);
        line(184, Math.min(...ys), 184, Math.max(...ys));
        const out = (Math.min(...ys) + Math.max(...ys)) / 2;
        line(184, out, 198, out);
        parts.push(`<text class="out" x="186" y="${out - 4}">out</text>`);
        // Operator 1's feedback: a loop over its box.
        const [fx, fy] = at[0];
        if (feedback) {
            const loop = `M${fx + 13} ${fy - 4} C${fx + 24} ${fy - 16} ${fx - 24} ${fy - 16} ${fx - 13} ${fy - 4}`;
            parts.push(`<path class="link" d="${loop}"/>`);
        }
        parts.push(`<text class="fb" x="${fx - 12}" y="${Math.max(8, fy - 13)}">fb ${feedback}</text>`);
        at.forEach(([x, y], k) => {
            const kind = carriers.includes(k) ? "carrier" : "modulator";
            parts.push(`<rect class="${kind}" x="${x - 13}" y="${y - 9}" width="26" height="18" rx="3"/>`);
            parts.push(`<text x="${x}" y="${y + 4}" text-anchor="middle">${k + 1}</text>`);
        });
        svg.innerHTML = parts.join("");
    }

    // The envelopes of the voice shown, for the keyboard's last note.
    draw() {
        const voice = this.current?.kind === "voice" ? this.item() : null;
        if (!voice || !this.opViews) return;
        const song = this.song();
        const perTick = song ? song.framesPerTick(this.rate) : Math.round(this.rate / 48);
        const hold = perTick * this.velnari.ticksPerBar;
        const step = Math.max(1, Math.ceil((hold * 1.5) / kEnvelopePoints));
        const values = voiceValues(voice);
        const note = this.keyboard.lastNote;
        // The chip runs only when what it would draw has changed.
        const drawn = [values, note, hold].join();
        if (drawn === this.drawn) return;
        this.drawn = drawn;
        this.opViews.forEach((view, k) => {
            const levels = this.tools.envelope(values, k, note, this.rate, hold, step, kEnvelopePoints);
            const ms = (f) => Math.round((f * 1000) / this.rate);
            drawEnvelope(view.canvas, levels, hold / step, `key off at ${ms(hold)} ms`);
            const quietest = Math.round(Math.max(...levels) * kDecibelsPerUnit);
            view.canvas.setAttribute(
                "aria-label",
                `op${k + 1}'s envelope: ${ms(hold)} ms held, then released; quietest ${quietest} dB below full`,
            );
            view.canvas.dataset.levels = levels.join(",");
            view.canvas.dataset.step = String(step);
            view.canvas.dataset.hold = String(hold);
        });
    }

    // ---- SSG envelopes ---------------------------------------------------

    buildEnvelopeEditor() {
        const canvas = $("ssg-levels");
        let dragging = false;
        const levelAt = (e) => {
            const envelope = this.item();
            const r = canvas.getBoundingClientRect();
            const count = envelope.levels.length;
            // The bars as drawn: the held one after the last is the last.
            const column = Math.floor(((e.clientX - r.left) / r.width) * (count + 1));
            const i = Math.min(count - 1, Math.max(0, column));
            const level = Math.round(kLargestLevel * (1 - (e.clientY - r.top) / r.height));
            return [i, clampLevel(level)];
        };
        canvas.addEventListener("pointerdown", (e) => {
            if (this.current?.kind !== "envelope" || !this.item().editable) return;
            dragging = true;
            this.endGesture("pointer");
            canvas.setPointerCapture(e.pointerId);
            const [i, level] = levelAt(e);
            // Tab comes back to the step dragged last.
            this.ssgStep = i;
            this.writeValue(["level", i], level);
        });
        canvas.addEventListener("pointermove", (e) => {
            if (!dragging) return;
            const [i, level] = levelAt(e);
            this.writeValue(["level", i], level);
        });
        const end = () => {
            dragging = false;
            this.endGesture(null);
        };
        canvas.addEventListener("pointerup", end);
        canvas.addEventListener("pointercancel", end);
        $("ssg-steps").addEventListener("keydown", (e) => this.stepKey(e));
        const step = $("ssg-step");
        step.addEventListener("change", () => {
            const value = Math.min(255, Math.max(1, Math.round(Number(step.value) || 1)));
            step.value = String(value);
            this.writeAlone(() => this.writeValue(["step"], value));
        });
    }

    // The levels for the keyboard and screen readers: a slider per step over
    // its bar, one Tab stop for them all (the step used last).
    showSteps(envelope) {
        const group = $("ssg-steps");
        const count = envelope.levels.length;
        while (group.children.length > count) group.lastChild.remove();
        while (group.children.length < count) {
            const bar = document.createElement("div");
            bar.setAttribute("role", "slider");
            bar.setAttribute("aria-orientation", "vertical");
            bar.setAttribute("aria-valuemin", "0");
            bar.setAttribute("aria-valuemax", String(kLargestLevel));
            this.gestureEvents(bar);
            group.append(bar);
        }
        this.ssgStep = Math.min(this.ssgStep, count - 1);
        [...group.children].forEach((bar, i) => {
            const written = envelope.levels[i];
            const level = written?.value ?? 0;
            bar.tabIndex = i === this.ssgStep ? 0 : -1;
            bar.style.left = `${(100 * i) / (count + 1)}%`;
            bar.style.width = `${100 / (count + 1)}%`;
            const held = i === count - 1 ? ", held" : "";
            bar.setAttribute("aria-label", `level of step ${i + 1} of ${count}${held}`);
            bar.setAttribute("aria-valuenow", String(clampLevel(level)));
            if (!written) bar.setAttribute("aria-valuetext", "not a plain number");
            else if (level !== clampLevel(level)) bar.setAttribute("aria-valuetext", `${level}, out of range`);
            else bar.removeAttribute("aria-valuetext");
            if (envelope.editable) bar.removeAttribute("aria-disabled");
            else bar.setAttribute("aria-disabled", "true");
        });
    }

    // Left and Right move between the steps; Up and Down, Page Up and Page
    // Down, Home and End set the level of the step that has the focus.
    stepKey(e) {
        const bars = [...$("ssg-steps").children];
        const i = bars.indexOf(e.target);
        const envelope = this.current?.kind === "envelope" ? this.item() : null;
        if (i < 0 || !envelope || e.altKey || e.ctrlKey || e.metaKey) return;
        const level = clampLevel(envelope.levels[i]?.value ?? 0);
        const moves = { ArrowLeft: -1, ArrowRight: 1 };
        const levels = {
            ArrowUp: level + 1,
            ArrowDown: level - 1,
            PageUp: level + kLevelPage,
            PageDown: level - kLevelPage,
            Home: 0,
            End: kLargestLevel,
        };
        if (e.key in moves) {
            this.ssgStep = Math.min(bars.length - 1, Math.max(0, i + moves[e.key]));
            bars.forEach((bar, k) => (bar.tabIndex = k === this.ssgStep ? 0 : -1));
            bars[this.ssgStep].focus();
        } else if (e.key in levels) {
            if (envelope.editable) this.writeValue(["level", i], clampLevel(levels[e.key]));
        } else {
            return;
        }
        e.preventDefault();
    }

    showEnvelope(envelope) {
        const canvas = $("ssg-levels");
        const levels = envelope.levels.map((v) => v?.value ?? 0);
        const step = envelope.step.value;
        if (document.activeElement !== $("ssg-step")) $("ssg-step").value = String(step);
        $("ssg-step").disabled = !envelope.editable;
        const plural = (n, word) => `${n} ${word}${n === 1 ? "" : "s"}`;
        const how = envelope.editable
            ? "Drag the bars, or use the arrow keys on them, to set the levels (0-15)."
            : "Some levels are not plain numbers: edit them in the text.";
        $("ssg-note").textContent =
            `@${envelope.number}: ${plural(levels.length, "level")} of ${plural(step, "tick")} each; ` +
            `the last holds. ${how}`;
        canvas.setAttribute("aria-label", `levels over ticks: ${levels.join(", ")}`);
        this.showSteps(envelope);
        const g = canvas.getContext("2d");
        const style = getComputedStyle(canvas);
        g.clearRect(0, 0, canvas.width, canvas.height);
        const width = canvas.width / (levels.length + 1);
        g.fillStyle = style.getPropertyValue("--accent");
        levels.forEach((level, i) => {
            const h = (Math.min(15, Math.max(0, level)) / 15) * (canvas.height - 14);
            g.fillRect(i * width + 1, canvas.height - 12 - h, width - 2, h);
        });
        // The last level goes on for as long as the note.
        g.globalAlpha = 0.35;
        const last = levels.at(-1) ?? 0;
        const h = (Math.min(15, Math.max(0, last)) / 15) * (canvas.height - 14);
        g.fillRect(levels.length * width + 1, canvas.height - 12 - h, width - 2, h);
        g.globalAlpha = 1;
        g.fillStyle = style.color;
        g.font = "10px system-ui, sans-serif";
        for (let i = 0; i <= levels.length; i += Math.max(1, Math.ceil(levels.length / 8))) {
            g.fillText(String(i * step), i * width + 2, canvas.height - 2);
        }
    }

    // ---- writing ---------------------------------------------------------

    // Rewrites one value of the definition shown: `where` is ["lfo", i],
    // ["op", k, i], ["level", i] or ["step"]. The first change of a gesture
    // begins a new undo step; the gesture's other changes join it.
    writeValue(where, value) {
        const item = this.item();
        if (!item) return;
        let token = null;
        if (where[0] === "lfo") token = item.lfo[where[1]];
        else if (where[0] === "op") token = item.ops[where[1]][where[2]];
        else if (where[0] === "level") token = item.levels[where[1]];
        else if (where[0] === "step") token = item.step;
        if (!token || token.carried || token.padded || token.from < 0) return;
        if (token.value === value) return;
        const start = this.gesture === null;
        if (start) this.gesture = Date.now();
        const annotations = [Transaction.userEvent.of(kVoiceEdit), Transaction.time.of(this.gesture)];
        if (start) annotations.push(isolateHistory.of("before"));
        this.editor.dispatch({ changes: { from: token.from, to: token.to, insert: String(value) }, annotations });
    }

    // ---- register logs ---------------------------------------------------

    async openLogs(files) {
        const texts = [];
        for (const file of files) {
            let bytes = new Uint8Array(await file.arrayBuffer());
            // A .vgz is gzip: the browser inflates it (the module has no zlib).
            if (bytes[0] === 0x1f && bytes[1] === 0x8b) {
                try {
                    const stream = new Blob([bytes]).stream().pipeThrough(new DecompressionStream("gzip"));
                    bytes = new Uint8Array(await new Response(stream).arrayBuffer());
                } catch (e) {
                    texts.push({ name: file.name, ok: false, text: `not a whole gzip file (${e.message})` });
                    continue;
                }
            }
            texts.push({ name: file.name, ...this.tools.logVoices(bytes, file.name) });
        }
        const panel = $("log-voices");
        panel.hidden = false;
        const text = texts.filter((t) => t.ok).map((t) => t.text).join("\n");
        $("log-voices-text").value = text;
        const faults = texts.filter((t) => !t.ok).map((t) => `cannot read '${t.name}': ${t.text}`);
        $("log-voices-note").textContent = faults.join("; ");
        $("log-voices-insert").disabled = text === "";
        if (faults.length) this.status(faults.join("; "), true);
        else this.status(`voices of ${texts.map((t) => t.name).join(", ")}: below the voice workshop`, false);
    }

    // The lifted voices go in at the cursor, as one change.
    insertLogVoices() {
        const text = $("log-voices-text").value;
        if (!text) return;
        const at = this.editor.state.selection.main.head;
        const line = this.editor.state.doc.lineAt(at);
        const insert = (line.text.trim() === "" ? "" : "\n") + text + "\n";
        this.editor.dispatch({ changes: { from: line.to, insert }, scrollIntoView: true });
    }
}

// An envelope drawn over time: loudness (0 dB at the top, 96 dB below full at
// the bottom), the key-off at `holdPoint` (in points), marked `label`.
function drawEnvelope(canvas, levels, holdPoint, label) {
    const g = canvas.getContext("2d");
    const style = getComputedStyle(canvas);
    const w = canvas.width;
    const h = canvas.height;
    g.clearRect(0, 0, w, h);
    g.strokeStyle = style.getPropertyValue("--dim");
    g.setLineDash([3, 3]);
    const off = (holdPoint / levels.length) * w;
    g.beginPath();
    g.moveTo(off, 0);
    g.lineTo(off, h);
    g.stroke();
    g.setLineDash([]);
    g.strokeStyle = style.getPropertyValue("--accent");
    g.lineWidth = 1.5;
    g.beginPath();
    levels.forEach((level, i) => {
        const x = (i / levels.length) * w;
        const y = Math.min(1, (level * kDecibelsPerUnit) / kDrawnDecibels) * (h - 2) + 1;
        if (i === 0) g.moveTo(x, y);
        else g.lineTo(x, y);
    });
    g.stroke();
    g.fillStyle = style.color;
    g.font = "10px system-ui, sans-serif";
    g.fillText(label, Math.min(off + 3, w - g.measureText(label).width - 2), 10);
}

export function bindLogVoicesPanel() {
    $("log-voices-insert").onclick = () => workshop?.insertLogVoices();
    $("log-voices-close").onclick = () => ($("log-voices").hidden = true);
}
