// The notes heard now, lit in the editor in their parts' colours (at the
// note's own text and at every macro call that reached it), and where the
// audio output stands: the audio thread reports the song's frame with the
// audio context's frame it rendered it for, and the context says which of
// its frames the listener hears now, its output's latency included.

import { Decoration, EditorView } from "@codemirror/view";
import { StateEffect, StateField } from "@codemirror/state";
import { PART_COUNT } from "./velnari.js";

const setLit = StateEffect.define();

// One mark per part, made once: a lit range's mark tells its part.
const partMarks = Array.from({ length: PART_COUNT }, (_, part) =>
    Decoration.mark({
        class: `cm-sounding cm-sounding-${part + 1}`,
        attributes: { "data-part": String(part + 1) },
    }),
);

// The lit ranges: [{from, to, part}] in the editor's positions.
const litField = StateField.define({
    create: () => Decoration.none,
    update(lit, tr) {
        lit = lit.map(tr.changes);
        for (const e of tr.effects) {
            if (e.is(setLit)) {
                const marks = e.value.map(({ from, to, part }) => partMarks[part].range(from, to));
                lit = Decoration.set(marks, true);
            }
        }
        return lit;
    },
    provide: (f) => EditorView.decorations.from(f),
});

// The editor's extension: the lights, and Alt+click on a note calling
// `playNote(position)` (with the editor's position clicked).
export function soundingExtension(playNote) {
    return [
        litField,
        EditorView.domEventHandlers({
            mousedown(e, view) {
                if (!e.altKey || e.button !== 0) return false;
                const pos = view.posAtCoords({ x: e.clientX, y: e.clientY });
                if (pos === null) return false;
                e.preventDefault();
                view.dispatch({ selection: { anchor: pos } });
                playNote(pos);
                return true;
            },
        }),
    ];
}

// Lights `ranges` ([{from, to, part}]) when they differ from what is lit;
// with `follow`, scrolls the first of them into view when it is out of it.
export function showSounding(view, ranges, follow) {
    const key = ranges.map((r) => `${r.part}:${r.from}-${r.to}`).join(",");
    if (key === view.litKey) return;
    view.litKey = key;
    const effects = [setLit.of(ranges)];
    if (follow && ranges.length) {
        const first = Math.min(...ranges.map((r) => r.from));
        const at = view.coordsAtPos(first);
        const box = view.scrollDOM.getBoundingClientRect();
        if (!at || at.top < box.top || at.bottom > box.bottom) {
            effects.push(EditorView.scrollIntoView(first, { y: "center" }));
        }
    }
    view.dispatch({ effects });
}

// The lit ranges now, with their text: [{part, from, to, text}].
export function litRanges(view) {
    const out = [];
    const lit = view.state.field(litField);
    for (let it = lit.iter(); it.value; it.next()) {
        const part = partMarks.indexOf(it.value);
        out.push({ part, from: it.from, to: it.to, text: view.state.doc.sliceString(it.from, it.to) });
    }
    return out;
}

// Byte offsets of a text (as the compiler counts them, UTF-8) and the
// editor's positions in it (UTF-16 units), both ways.
export class TextOffsets {
    constructor(text) {
        this.ascii = !/[^\x00-\x7f]/.test(text);
        if (this.ascii) return;
        const bytes = [];
        this.posOfByte = [];
        this.byteOfPos = new Uint32Array(text.length + 1);
        let b = 0;
        for (let i = 0; i < text.length; ) {
            const c = text.codePointAt(i);
            const n = c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
            const units = c >= 0x10000 ? 2 : 1;
            for (let k = 0; k < n; ++k) bytes.push(i);
            for (let k = 0; k < units; ++k) this.byteOfPos[i + k] = b;
            b += n;
            i += units;
        }
        bytes.push(text.length);
        this.byteOfPos[text.length] = b;
        this.posOfByte = Uint32Array.from(bytes);
    }
    pos(byte) {
        return this.ascii ? byte : this.posOfByte[Math.min(byte, this.posOfByte.length - 1)];
    }
    byte(pos) {
        return this.ascii ? pos : this.byteOfPos[Math.min(pos, this.byteOfPos.length - 1)];
    }
}

// Where the listener is in the song. The audio thread's states say which
// song frame it rendered for which frame of the audio context; the song
// frame heard now is that of the latest state the context has output,
// moved on by the frames output since.
export class Playhead {
    constructor(rate) {
        this.rate = rate;
        this.states = []; // [{at, frame}], the last second's
    }

    // A state of the audio thread: {at (context frame), frame, playing, seeking}.
    add(state) {
        if (state.at === undefined) return;
        if (state.seeking || state.following) return;
        this.states.push({ at: state.at, frame: state.frame, playing: state.playing });
        while (this.states.length > 2 && this.states[0].at < state.at - this.rate) this.states.shift();
    }

    clear() {
        this.states = [];
    }

    // The context frame heard now.
    static heardContextFrame(context) {
        const rate = context.sampleRate;
        const stamp = context.getOutputTimestamp?.();
        if (stamp && stamp.contextTime > 0 && stamp.performanceTime > 0) {
            return (stamp.contextTime + (performance.now() - stamp.performanceTime) / 1000) * rate;
        }
        return (context.currentTime - (context.outputLatency || 0) - context.baseLatency) * rate;
    }

    // The song frame heard now (null before any state), held where it stands
    // while paused.
    frame(context) {
        if (!this.states.length) return null;
        const heard = Playhead.heardContextFrame(context);
        let i = this.states.length - 1;
        while (i > 0 && this.states[i].at > heard) --i;
        const s = this.states[i];
        if (!s.playing) return s.frame;
        return Math.max(0, s.frame + Math.min(heard - s.at, this.rate / 2));
    }
}
