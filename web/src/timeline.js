// The timeline: each part as a lane of its notes over time (pitch as
// height) through the song's first whole loop, with the bars and their
// numbers, where each part's loop begins and where the song starts over, a
// range of bars on repeat, and the playhead. A click seeks (to the start of
// the tick under it), a click on a note puts the cursor on its text, a drag
// along the bar numbers picks bars to repeat; hovering a note names it.
//
// The notes and bars are drawn once into a picture of the part in view
// (again when the song, the range, the view or the size changes); each
// animation frame only copies it and draws the playhead over it.

import { keyName } from "./notes.js";

const kRuler = 18; // px: the bar numbers
const kLane = 22; // px per part
const kParts = 6;
const kPixelsPerSecond = 48;

export class Timeline {
    // `scroller` holds the canvas and gives it its width; `tip` is the hover
    // box. `on` = {seek(tick), note(note), range(firstBar, lastBar)}.
    constructor(scroller, canvas, tip, on) {
        this.scroller = scroller;
        this.canvas = canvas;
        this.tip = tip;
        this.on = on;
        this.song = null;
        this.range = null; // [first bar, last bar], counted from 1
        this.playhead = null; // frame
        this.picture = document.createElement("canvas");
        this.spacer = scroller.querySelector(".spacer");
        this.drag = null;
        this.colours = null;
        matchMedia("(prefers-color-scheme: dark)").addEventListener("change", () => {
            this.colours = null;
            this.redraw();
        });
        scroller.addEventListener("scroll", () => this.redraw());
        new ResizeObserver(() => this.redraw()).observe(scroller);
        canvas.addEventListener("mousedown", (e) => this.onDown(e));
        canvas.addEventListener("mousemove", (e) => this.onMove(e));
        canvas.addEventListener("mouseleave", () => (this.tip.hidden = true));
        addEventListener("mouseup", (e) => this.onUp(e));
    }

    // song = {notes (SongNotes), frameOfTick, tickOfFrame, rate, ticksPerBar,
    // lengthFrames, describe(note): its text for the hover box}.
    setSong(song) {
        this.song = song;
        for (const n of song.notes.notes) {
            n.from = song.frameOfTick(n.tick);
            n.to = song.frameOfTick(n.tick + n.ticks);
        }
        this.lanes = song.notes.byPart.map((notes) => {
            let low = Infinity;
            let high = -Infinity;
            for (const n of notes) {
                low = Math.min(low, n.key);
                high = Math.max(high, n.key);
            }
            return { low, high: Math.max(high, low + 11) };
        });
        this.frames = Math.max(song.lengthFrames, song.frameOfTick(song.notes.endTick));
        this.spacer.style.width = `${Math.ceil(this.x(this.frames)) + 8}px`;
        this.redraw();
    }

    setRange(range) {
        this.range = range;
        this.redraw();
    }

    // The playhead at song frame `frame` (null: none), kept in view when
    // `follow`.
    setPlayhead(frame, follow) {
        if (frame === this.playhead) return;
        this.playhead = frame;
        if (follow && frame !== null) {
            const x = this.x(frame);
            const left = this.scroller.scrollLeft;
            const width = this.scroller.clientWidth;
            if (x < left || x > left + width - 20) this.scroller.scrollLeft = Math.max(0, x - width / 4);
        }
        this.paint();
    }

    x(frame) {
        return (frame / (this.song?.rate ?? 44100)) * kPixelsPerSecond;
    }
    frameAt(x) {
        return (x / kPixelsPerSecond) * (this.song?.rate ?? 44100);
    }

    colour(name) {
        if (!this.colours) {
            const style = getComputedStyle(document.documentElement);
            this.colours = {};
            for (const n of ["--text", "--dim", "--line", "--scope-bg", "--accent", "--warn"]) {
                this.colours[n] = style.getPropertyValue(n).trim();
            }
            for (let p = 1; p <= kParts; ++p) this.colours[`part${p}`] = style.getPropertyValue(`--part${p}`).trim();
        }
        return this.colours[name];
    }

    // Draws the notes, bars and marks in view into the picture.
    redraw() {
        const ratio = devicePixelRatio;
        const width = this.scroller.clientWidth;
        const height = kRuler + kParts * kLane;
        for (const c of [this.canvas, this.picture]) {
            c.width = Math.max(1, Math.round(width * ratio));
            c.height = Math.round(height * ratio);
        }
        this.canvas.style.width = `${width}px`;
        this.canvas.style.height = `${height}px`;
        const g = this.picture.getContext("2d");
        g.setTransform(ratio, 0, 0, ratio, 0, 0);
        g.clearRect(0, 0, width, height);
        g.fillStyle = this.colour("--scope-bg");
        g.fillRect(0, kRuler, width, kParts * kLane);
        if (this.song) this.drawSong(g, this.scroller.scrollLeft, width);
        this.paint();
    }

    drawSong(g, left, width) {
        const song = this.song;
        const from = this.frameAt(left);
        const to = this.frameAt(left + width);
        const bottom = kRuler + kParts * kLane;
        // The range on repeat, under everything.
        if (this.range) {
            const a = this.x(song.frameOfTick((this.range[0] - 1) * song.ticksPerBar)) - left;
            const b = this.x(song.frameOfTick(this.range[1] * song.ticksPerBar)) - left;
            g.fillStyle = this.colour("--accent");
            g.globalAlpha = 0.18;
            g.fillRect(a, 0, b - a, bottom);
            g.globalAlpha = 1;
        }
        // Bars and their numbers (fewer numbers where bars are narrow).
        g.font = "11px system-ui, sans-serif";
        g.textBaseline = "middle";
        const firstBar = Math.floor(song.tickOfFrame(from) / song.ticksPerBar);
        const lastTick = song.tickOfFrame(Math.min(to, this.frames));
        let shown = -Infinity;
        for (let bar = firstBar; bar * song.ticksPerBar <= lastTick; ++bar) {
            const x = Math.round(this.x(song.frameOfTick(bar * song.ticksPerBar)) - left) + 0.5;
            g.fillStyle = this.colour("--line");
            g.fillRect(x, kRuler - 4, 1, bottom - kRuler + 4);
            if (x - shown >= 28) {
                g.fillStyle = this.colour("--dim");
                g.fillText(String(bar + 1), x + 3, kRuler / 2);
                shown = x;
            }
        }
        // The notes, in their parts' lanes.
        for (let part = 0; part < kParts; ++part) {
            const lane = this.lanes[part];
            const top = kRuler + part * kLane;
            g.fillStyle = this.colour(`part${part + 1}`);
            for (const n of song.notes.byPart[part]) {
                if (n.to < from || n.from > to) continue;
                const y = top + 2 + ((lane.high - n.key) / (lane.high - lane.low + 1)) * (kLane - 6);
                const x0 = this.x(n.from) - left;
                g.fillRect(x0, y, Math.max(1, this.x(n.to) - left - x0 - 1), 3);
            }
            // Where the part's loop begins.
            const loop = song.notes.partLoops[part];
            if (loop.start >= 0 && loop.length > 0) this.mark(g, song.frameOfTick(loop.start), left, top, kLane, "{");
        }
        // Where the whole song starts over.
        if (song.notes.loopTick > 0) this.mark(g, song.frameOfTick(song.notes.loopTick), left, 0, bottom, "loop");
    }

    mark(g, frame, left, top, height, label) {
        const x = Math.round(this.x(frame) - left) + 0.5;
        g.strokeStyle = g.fillStyle = this.colour("--warn");
        g.setLineDash([3, 2]);
        g.beginPath();
        g.moveTo(x, top);
        g.lineTo(x, top + height);
        g.stroke();
        g.setLineDash([]);
        g.fillText(label, x + 2, top + (label === "loop" ? kRuler / 2 : kLane / 2));
    }

    // The picture, and the playhead over it.
    paint() {
        const g = this.canvas.getContext("2d");
        g.setTransform(1, 0, 0, 1, 0, 0);
        g.clearRect(0, 0, this.canvas.width, this.canvas.height);
        g.drawImage(this.picture, 0, 0);
        if (this.playhead === null || !this.song) return;
        const ratio = devicePixelRatio;
        const x = (this.x(this.playhead) - this.scroller.scrollLeft) * ratio;
        g.fillStyle = this.colour("--text");
        g.fillRect(Math.round(x), 0, Math.max(1, Math.round(ratio * 1.5)), this.canvas.height);
    }

    // What lies under a mouse event: {frame, tick, bar (from 1), note, ruler}.
    hit(e) {
        const rect = this.canvas.getBoundingClientRect();
        const x = e.clientX - rect.left + this.scroller.scrollLeft;
        const y = e.clientY - rect.top;
        const frame = Math.min(Math.max(this.frameAt(x), 0), this.frames);
        const tick = this.song.tickOfFrame(frame);
        const out = { frame, tick, bar: Math.floor(tick / this.song.ticksPerBar) + 1, note: null, ruler: y < kRuler };
        const part = Math.floor((y - kRuler) / kLane);
        if (!out.ruler && part >= 0 && part < kParts) {
            // The note under the pointer, else one within 2 px of it.
            const notes = this.song.notes.byPart[part];
            const slack = this.frameAt(2);
            out.note =
                notes.find((n) => frame >= n.from && frame < n.to) ??
                notes.find((n) => frame >= n.from - slack && frame < n.to + slack) ??
                null;
        }
        return out;
    }

    onDown(e) {
        if (!this.song || e.button !== 0) return;
        const at = this.hit(e);
        this.drag = { start: at, moved: false };
        e.preventDefault();
    }

    onMove(e) {
        if (!this.song) return;
        const at = this.hit(e);
        if (this.drag?.start.ruler && at.bar !== this.drag.start.bar) {
            this.drag.moved = true;
            this.setRange([Math.min(at.bar, this.drag.start.bar), Math.max(at.bar, this.drag.start.bar)]);
        }
        if (at.note && !this.drag) {
            const rect = this.canvas.getBoundingClientRect();
            this.tip.textContent = this.song.describe(at.note);
            this.tip.style.left = `${e.clientX - rect.left + 12}px`;
            this.tip.style.top = `${e.clientY - rect.top + 12}px`;
            this.tip.hidden = false;
        } else this.tip.hidden = true;
    }

    onUp(e) {
        const drag = this.drag;
        this.drag = null;
        if (!drag || !this.song) return;
        if (drag.moved) {
            this.on.range(this.range[0], this.range[1]);
            return;
        }
        if (drag.start.note) this.on.note(drag.start.note);
        else this.on.seek(drag.start.tick);
    }
}

// A note as the hover box names it: "E5, 8 ticks (0.27 s), line 34".
export function describeNote(note, seconds, line) {
    return `${keyName(note.key)}, ${note.ticks} ticks (${seconds.toFixed(2)} s), line ${line}`;
}
