// Seeing the music: the notes heard lit in the editor, the timeline, a range
// of bars on repeat, and Alt+click (or Alt+Enter) to play from a note. The
// page hands over each song that compiles and each state of the audio
// thread; this module does the rest on every animation frame.

import { ChangeSet } from "@codemirror/state";
import { EditorView, keymap } from "@codemirror/view";
import { SongNotes } from "./notes.js";
import { Playhead, TextOffsets, litRanges, showSounding, soundingExtension } from "./sounding.js";
import { Timeline, describeNote } from "./timeline.js";

const $ = (id) => document.getElementById(id);

// `page` = {rate, ticksPerBar(), audio(), playing(), position(), seek(frame),
// play(), goTo(editorPosition), status(text)}.
export class Sight {
    constructor(page) {
        this.page = page;
        this.editor = null;
        this.song = null; // the CompiledSong the notes are of
        this.notes = null;
        this.offsets = null; // of the text that compiled
        this.changes = null; // made in the editor since it compiled
        this.doc = null;
        this.playhead = new Playhead(page.rate);
        this.range = null; // [first bar, last bar] on repeat
        this.tick = 0; // heard, as of the last animation frame
        this.timeline = new Timeline($("timeline-scroller"), $("timeline"), $("timeline-tip"), {
            seek: (tick) => this.seek(this.frameOfTick(tick)),
            note: (note) => this.showNote(note),
            range: (first, last) => this.repeat([first, last]),
        });
        $("range-repeat").onclick = () => {
            if (this.range) this.repeat(null);
            else this.repeat([Number($("range-first").value), Number($("range-last").value)]);
        };
        requestAnimationFrame(() => this.frame());
    }

    // The editor's part: the lights, Alt+click and Alt+Enter, and the edits
    // made since the text compiled.
    extension() {
        return [
            soundingExtension((pos) => this.playFrom(pos)),
            keymap.of([{ key: "Alt-Enter", run: (view) => (this.playFrom(view.state.selection.main.head), true) }]),
            EditorView.updateListener.of((u) => {
                if (u.docChanged && this.inStep(u.startState)) {
                    this.changes = this.changes.compose(u.changes);
                    this.doc = u.state.doc;
                }
            }),
        ];
    }

    // A song has compiled from the editor's text as it is now.
    compiled(editor, song, text) {
        this.editor = editor;
        this.song = song;
        this.notes = new SongNotes(song, this.page.rate);
        this.offsets = new TextOffsets(text);
        this.changes = ChangeSet.empty(text.length);
        this.doc = editor.state.doc; // the text the changes lead to
        this.lineStarts = [0];
        for (let i = text.indexOf("\n"); i >= 0; i = text.indexOf("\n", i + 1)) this.lineStarts.push(i + 1);
        const rate = this.page.rate;
        this.timeline.setSong({
            notes: this.notes,
            rate,
            ticksPerBar: this.page.ticksPerBar(),
            frameOfTick: (t) => song.frameOfTick(rate, t),
            tickOfFrame: (f) => song.tickOfFrame(rate, f),
            lengthFrames: song.lengthFrames(rate),
            describe: (n) =>
                describeNote(
                    n,
                    (song.frameOfTick(rate, n.tick + n.ticks) - song.frameOfTick(rate, n.tick)) / rate,
                    this.lineOf(this.offsets.pos(n.source.offset)),
                ),
        });
        this.shown = null;
        editor.litKey = null; // the editor's state may be another's, lit afresh
    }

    lineOf(pos) {
        let lo = 0;
        let hi = this.lineStarts.length;
        while (lo + 1 < hi) {
            const mid = (lo + hi) >> 1;
            if (this.lineStarts[mid] <= pos) lo = mid;
            else hi = mid;
        }
        return lo + 1;
    }

    // A state of the audio thread.
    state(state) {
        this.playhead.add(state);
    }

    frameOfTick(tick) {
        return this.song ? this.song.frameOfTick(this.page.rate, tick) : 0;
    }

    // Whether the edits since the compile lead to the text of `state`: not
    // after another song's text replaced it (until that one compiles).
    inStep(state) {
        return this.changes !== null && state.doc === this.doc;
    }

    // The editor's range of `span` (bytes of the text that compiled), where
    // it stands after the edits since; null when it was not written there.
    editorRange(span) {
        if (!span.length) return null;
        const from = this.changes.mapPos(this.offsets.pos(span.offset), 1);
        const to = this.changes.mapPos(this.offsets.pos(span.offset + span.length), -1);
        return to > from ? { from, to } : null;
    }

    // The song frame heard now.
    heardFrame() {
        const audio = this.page.audio();
        if (!this.page.playing() || !audio) return this.page.position();
        return this.playhead.frame(audio.context) ?? this.page.position();
    }

    frame() {
        requestAnimationFrame(() => this.frame());
        if (!this.song || !this.editor) return;
        const follow = $("follow").checked;
        const frame = this.heardFrame();
        // Standing still, nothing changes until the song or the position does.
        const still = !this.page.playing() && this.shown?.frame === frame && this.shown?.notes === this.notes;
        this.shown = { frame, notes: this.notes };
        if (still) return;
        let tick = this.song.tickOfFrame(this.page.rate, frame);
        let at = frame;
        if (this.range && this.page.playing()) {
            // Heard a little past the range's end is its start again.
            const first = (this.range[0] - 1) * this.page.ticksPerBar();
            const end = this.range[1] * this.page.ticksPerBar();
            if (tick >= end) {
                tick = first + ((tick - end) % (end - first));
                at = this.frameOfTick(tick);
            }
        }
        this.tick = tick;
        this.timeline.setPlayhead(at, follow);
        const lit = [];
        if ((this.page.playing() || frame > 0) && this.inStep(this.editor.state)) {
            for (let part = 0; part < 6; ++part) {
                const note = this.notes.soundingAt(part, tick);
                if (!note) continue;
                for (const span of [note.source, ...note.calls]) {
                    const r = this.editorRange(span);
                    if (r) lit.push({ ...r, part });
                }
            }
        }
        lit.sort((a, b) => a.from - b.from || a.part - b.part);
        showSounding(this.editor, lit, follow && this.page.playing());
    }

    // Puts the cursor on a note's text.
    showNote(note) {
        const r = this.editorRange(note.source);
        if (r) this.page.goTo(r.from);
    }

    // Plays from the next time the note at editor position `pos` sounds (in
    // the bars on repeat, when it sounds in them), else from its first time.
    playFrom(pos) {
        if (!this.song || !this.inStep(this.editor.state)) return;
        const compiledPos = this.changes.invertedDesc.mapPos(pos, -1);
        const byte = this.offsets.byte(compiledPos);
        // A click just past a note's last letter still means that note.
        const next = (from) => this.notes.nextTickOf(byte, from) ?? this.notes.nextTickOf(byte - 1, from);
        let tick = next(this.tick);
        if (this.range) {
            // Bars on repeat come round again: a note of theirs plays there.
            const within = (t) => t !== null && t >= this.rangeTicks.first && t < this.rangeTicks.end;
            if (!within(tick) && within(next(this.rangeTicks.first))) tick = next(this.rangeTicks.first);
        }
        if (tick === null) {
            this.page.status("no note is written there");
            return;
        }
        this.seek(this.frameOfTick(tick));
        if (!this.page.playing()) this.page.play();
    }

    // A seek asked for (the seek bar, the bar box, the timeline, a note): one
    // out of the bars on repeat leaves them, and the song plays on from
    // there; one within them goes on repeating.
    seek(frame) {
        if (this.range && this.song) {
            const tick = this.song.tickOfFrame(this.page.rate, frame);
            if (tick < this.rangeTicks.first || tick >= this.rangeTicks.end) this.repeat(null);
        }
        this.page.seek(frame);
    }

    // Repeats bars [first, last] (null: plays on).
    repeat(range) {
        if (range && !(range[0] >= 1 && range[1] >= range[0])) range = null;
        this.range = range;
        $("range-first").value = String(range ? range[0] : Number($("range-first").value) || 1);
        $("range-last").value = String(range ? range[1] : Number($("range-last").value) || 1);
        const button = $("range-repeat");
        button.setAttribute("aria-pressed", String(!!range));
        button.textContent = range ? "Release" : "Repeat";
        this.timeline.setRange(range);
        const bar = this.page.ticksPerBar();
        this.rangeTicks = range ? { first: (range[0] - 1) * bar, end: range[1] * bar } : { first: 0, end: 0 };
        this.page.audio()?.node.port.postMessage({ type: "range", ...this.rangeTicks });
    }

    // For a new audio thread: the range it repeats, when there is one.
    tell(port) {
        if (this.range) port.postMessage({ type: "range", ...this.rangeTicks });
    }

    // What the tests read: the tick heard and the text lit for it.
    seen() {
        return { tick: this.tick, lit: this.editor ? litRanges(this.editor) : [] };
    }
}
