// The songs kept in the browser (IndexedDB, through idb-keyval): each under
// "song:ID" as {id, name, text, format, savedText, example, created}, and the one
// open last under "current". `format` is how its file is written (encoding,
// byte-order mark, line end, Ctrl-Z: see text-files.js); `savedText` is the
// text as last read from or written to a file on disk (null for a song that
// never was one), so that the page knows what would be lost; `example` is
// the example file it was opened from, while it still is that example.

import { del, entries, get, set } from "idb-keyval";

export const kPlainFormat = { encoding: "utf-8", bom: false, eol: "\n", eof: false };

export class SongStore {
    constructor() {
        this.songs = new Map(); // id -> song
        this.pending = new Map(); // id -> timer of a write not yet made
        this.writes = new Set(); // writes under way
        this.onChange = () => {};
    }

    // Reads every kept song; resolves to the id open last (or null).
    async load() {
        for (const [key, value] of await entries()) {
            if (typeof key === "string" && key.startsWith("song:") && value && typeof value.text === "string") {
                this.songs.set(value.id, { format: kPlainFormat, savedText: null, ...value });
            }
        }
        const current = await get("current");
        return this.songs.has(current) ? current : null;
    }

    // The songs in the order they were made.
    list() {
        return [...this.songs.values()].sort((a, b) => a.created - b.created);
    }

    get(id) {
        return this.songs.get(id);
    }

    // A new song, kept at once; `fields` as in the store's description.
    add(fields) {
        const id = `${Date.now().toString(36)}-${Math.random().toString(36).slice(2, 8)}`;
        const song = {
            id,
            name: "untitled",
            text: "",
            format: kPlainFormat,
            savedText: null,
            example: null,
            created: Date.now(),
            ...fields,
        };
        song.name = this.freeName(song.name);
        this.songs.set(id, song);
        this.write(id);
        this.onChange();
        return song;
    }

    // `name`, or `name 2`, `name 3`... whichever no other song has.
    freeName(name, except = null) {
        const taken = new Set(this.list().filter((s) => s.id !== except).map((s) => s.name));
        let free = name;
        for (let n = 2; taken.has(free); ++n) free = `${name} ${n}`;
        return free;
    }

    // Changes fields of a song; a text change is written a moment later (as
    // typing goes on), anything else at once.
    update(id, fields) {
        const song = this.songs.get(id);
        if (!song) return;
        Object.assign(song, fields);
        if (Object.keys(fields).every((k) => k === "text")) this.writeSoon(id);
        else this.write(id);
        this.onChange();
    }

    remove(id) {
        clearTimeout(this.pending.get(id));
        this.pending.delete(id);
        this.songs.delete(id);
        this.track(del(`song:${id}`));
        this.onChange();
    }

    setCurrent(id) {
        this.track(set("current", id));
    }

    writeSoon(id) {
        clearTimeout(this.pending.get(id));
        this.pending.set(
            id,
            setTimeout(() => this.write(id), 300),
        );
        this.onChange();
    }

    write(id) {
        clearTimeout(this.pending.get(id));
        this.pending.delete(id);
        const song = this.songs.get(id);
        if (song) this.track(set(`song:${id}`, song));
    }

    // Writes what waits now (the page is being left).
    flush() {
        for (const id of [...this.pending.keys()]) this.write(id);
    }

    // True when everything typed is in the browser's storage.
    get kept() {
        return this.pending.size === 0 && this.writes.size === 0;
    }

    track(write) {
        this.writes.add(write);
        write
            .catch((e) => console.error(`the browser's storage refused a song: ${e.message}`))
            .finally(() => {
                this.writes.delete(write);
                this.onChange();
            });
    }

    // Songs whose file on disk differs from their text.
    unsaved() {
        return this.list().filter((s) => s.savedText !== null && s.savedText !== s.text);
    }
}
