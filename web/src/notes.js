// Every note of a song's first whole loop, from the module's note list: the
// timeline draws them, the editor lights the ones sounding. Ticks past the
// list's end find their note in the part's loop, a whole number of passes
// earlier, as the song plays them.

const kFields = 12; // the module's integers per note (vn_notes_new)

// {part, tick, ticks, key, cents, volume, voice, tied, source: {offset,
// length}, calls: [{offset, length}]} for every note; the source is
// in bytes of the song's text.
export class SongNotes {
    constructor(song, rate) {
        const m = song.v.m;
        const handle = m._vn_notes_new(song.handle, rate);
        this.notes = [];
        this.byPart = Array.from({ length: 6 }, () => []);
        this.endTick = 0;
        this.loopTick = -1;
        this.partLoops = [];
        if (!handle) return;
        const count = m._vn_notes_count(handle);
        const data = new Int32Array(m.HEAP32.buffer, m._vn_notes_data(handle), count * kFields).slice();
        const calls = new Int32Array(m.HEAP32.buffer, m._vn_notes_calls(handle), m._vn_notes_calls_size(handle)).slice();
        for (let i = 0; i < count; ++i) {
            const f = data.subarray(i * kFields, (i + 1) * kFields);
            const note = {
                part: f[0],
                tick: f[1],
                ticks: f[2],
                key: f[3],
                cents: f[4] / 10,
                volume: f[5],
                voice: f[6],
                tied: f[7] !== 0,
                source: { offset: f[8], length: f[9] },
                calls: [],
            };
            for (let c = 0; c < f[11]; ++c) {
                note.calls.push({ offset: calls[2 * (f[10] + c)], length: calls[2 * (f[10] + c) + 1] });
            }
            this.notes.push(note);
            this.byPart[note.part].push(note);
        }
        this.endTick = m._vn_notes_end_tick(handle);
        this.loopTick = m._vn_notes_loop_tick(handle);
        for (let p = 0; p < 6; ++p) {
            this.partLoops.push({ start: m._vn_notes_part_loop_start(handle, p), length: m._vn_notes_part_loop_length(handle, p) });
        }
        m._vn_notes_free(handle);
    }

    // The tick of the list that plays as `tick` does in part `part`: the same
    // tick within the list, else as many passes back as it takes.
    listTick(part, tick) {
        const loop = this.partLoops[part];
        if (tick < this.endTick || loop.start < 0 || loop.length <= 0) return tick;
        return loop.start + ((tick - loop.start) % loop.length);
    }

    // The note part `part` sounds in `tick`, or null (a rest, or nothing).
    soundingAt(part, tick) {
        const t = this.listTick(part, tick);
        const list = this.byPart[part];
        let lo = 0;
        let hi = list.length;
        while (lo < hi) {
            const mid = (lo + hi) >> 1;
            if (list[mid].tick <= t) lo = mid + 1;
            else hi = mid;
        }
        const note = list[lo - 1];
        return note && t < note.tick + note.ticks ? note : null;
    }

    // The notes written at byte `offset` of the text.
    notesAt(offset) {
        return this.notes.filter((n) => offset >= n.source.offset && offset < n.source.offset + n.source.length);
    }

    // The next tick, from `now` on, at which a note written at byte `offset`
    // starts (a part's loop brings its notes round again), else the first
    // such tick; null when no note is written there.
    nextTickOf(offset, now) {
        const hits = this.notesAt(offset);
        if (!hits.length) return null;
        let next = Infinity;
        for (const n of hits) {
            const loop = this.partLoops[n.part];
            let t = n.tick;
            if (t < now && loop.start >= 0 && loop.length > 0 && t >= loop.start) {
                t += Math.ceil((now - t) / loop.length) * loop.length;
            }
            if (t >= now) next = Math.min(next, t);
        }
        return next < Infinity ? next : Math.min(...hits.map((n) => n.tick));
    }
}

// The name of MIDI key `key`: "C4" for 60.
export function keyName(key) {
    const names = ["C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"];
    return `${names[key % 12]}${Math.floor(key / 12) - 1}`;
}
