// The page: songs, editor, transport, parts and downloads. The music is the
// engine's (velnari.js, in this thread for compiles and downloads, and in the
// audio thread for playback); the songs are kept by songs.js; this file only
// wires the page to them.

import { EditorView, keymap, lineNumbers, highlightActiveLine } from "@codemirror/view";
import { EditorState } from "@codemirror/state";
import { defaultKeymap, history as editHistory, historyKeymap } from "@codemirror/commands";
import { syntaxHighlighting } from "@codemirror/language";
import { setDiagnostics, lintGutter } from "@codemirror/lint";
import examples from "velnari:examples";
import { mmlLanguage, mmlHighlightStyle } from "./mml-language.js";
import { loadVelnari, PART_COUNT, chipMaskMuting } from "./velnari.js";
import { fragmentFor, songFromFragment } from "./share.js";
import { wavBlob } from "./wav.js";
import { ChannelView } from "./scopes.js";
import { SongStore } from "./songs.js";
import { decodeSongFile, encodeSongFile } from "./text-files.js";
import { zipBlob } from "./zip.js";
import { showProblems } from "./problems.js";
import * as voiceWorkshop from "./voice-editor.js";
import { Sight } from "./sight.js";

const kRate = 44100;
const kCompileDelay = 250; // ms after the last keystroke
const kPartNames = ["FM 1", "FM 2", "FM 3", "SSG A", "SSG B", "SSG C"];

const $ = (id) => document.getElementById(id);

const page = {
    velnari: null,
    wasmModule: null,
    song: null, // the last song that compiled (CompiledSong)
    framesPerTick: 1,
    ticksPerBar: 1, // the module's, once it has loaded
    lengthFrames: kRate,
    audio: null, // {context, node}
    playing: false,
    position: 0, // frame
    seeks: 0, // seeks asked of the audio thread: its states say which they follow
    muted: new Array(PART_COUNT).fill(false),
    soloed: new Array(PART_COUNT).fill(false),
    views: [],
    channels: null, // the channels' worker, once it is ready
};

const store = new SongStore();
let currentId = null; // the song in the editor
const editorStates = new Map(); // song id -> its EditorState, with its undo history for this visit
const fileHandles = new Map(); // song id -> the file it saves to, where the browser gives one

// ---- compile ---------------------------------------------------------------

// The editor's offset within a line of the compiler's 1-based byte column
// (the editor counts UTF-16 units, the compiler UTF-8 bytes).
function columnOffset(text, column) {
    let bytes = 0;
    let i = 0;
    while (i < text.length && bytes < column - 1) {
        const c = text.codePointAt(i);
        bytes += c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
        i += c >= 0x10000 ? 2 : 1;
    }
    return i;
}

// An underline at a line and column over the `length` bytes given there (the
// word there when that is not known), or the whole line when the column is
// not known.
function diagnostic(doc, where, severity, message) {
    const line = doc.line(Math.min(Math.max(where.line, 1), doc.lines));
    let from = line.from;
    let to = line.to;
    if (where.column > 0) {
        from = line.from + columnOffset(line.text, where.column);
        const word = line.text.slice(from - line.from).match(/^\S+/);
        const end =
            where.length > 0
                ? line.from + columnOffset(line.text, where.column + where.length)
                : from + (word ? word[0].length : 1);
        to = Math.min(end, line.to);
        if (to === from && from > line.from) from -= 1;
    }
    return { from, to, severity, message };
}

function compileNow(view) {
    const text = view.state.doc.toString();
    const song = page.velnari.review(text);
    const doc = view.state.doc;
    if (!song.ok) {
        const fault = song.fault;
        view.dispatch(setDiagnostics(view.state, [diagnostic(doc, fault, "error", fault.message)]));
        showStatus(`line ${fault.line}${fault.column ? `, column ${fault.column}` : ""}: ${fault.message}`, true);
        showProblems([{ severity: "error", line: fault.line, column: fault.column, text: fault.message }], goTo);
        song.free();
        return;
    }
    // With the plain switch on, each use of an extension is an error.
    const plain = $("plain").checked ? song.plainDialect : [];
    const problems = [
        ...plain.map((p) => ({ severity: "error", ...p })),
        ...song.warnings.map((w) => ({ severity: "warning", ...w })),
    ].sort((a, b) => a.line - b.line || a.column - b.column);
    showProblems(
        problems.map((p) => ({ severity: p.severity, line: p.line, column: p.column, text: p.text })),
        goTo,
    );
    const marked = problems.filter((p) => p.line > 0);
    view.dispatch(setDiagnostics(view.state, marked.map((p) => diagnostic(doc, p, p.severity, p.text))));
    document.title = song.title ? `${song.title} — velnari` : "velnari — MML on the YM2203";
    // Warnings about the whole song have no line to mark: the status says them.
    const whole = song.warnings.filter((w) => w.line === 0).map((w) => w.text);
    const count = song.warnings.length;
    showStatus([`compiled${count ? `, ${count} warning${count > 1 ? "s" : ""}` : ""}`, ...whole].join(" · "), false);
    if (page.song) page.song.free();
    page.song = song;
    page.framesPerTick = song.framesPerTick(kRate);
    page.lengthFrames = song.lengthFrames(kRate);
    sight.compiled(view, song, text);
    updateParts();
    markBars();
    voiceWorkshop.voiceSongCompiled();
    sendSong(text, true);
    updatePosition();
}

// A mark on the seek bar at the start of every bar (of the first hundred).
function markBars() {
    const bars = $("bars");
    bars.replaceChildren();
    for (let bar = 0; bars.children.length < 100; ++bar) {
        const f = frameOfTick(bar * page.ticksPerBar);
        if (f >= page.lengthFrames) break;
        bars.append(new Option("", String(f)));
    }
}

// Puts the cursor at a line and byte column of the text, in view.
function goTo(line, column) {
    const doc = editor.state.doc;
    const at = doc.line(Math.min(Math.max(line, 1), doc.lines));
    const pos = at.from + (column > 0 ? columnOffset(at.text, column) : 0);
    editor.dispatch({ selection: { anchor: pos }, scrollIntoView: true });
    editor.focus();
}

let compileTimer = 0;
function scheduleCompile(view) {
    clearTimeout(compileTimer);
    compileTimer = setTimeout(() => compileNow(view), kCompileDelay);
}

function showStatus(text, fault) {
    const status = $("status");
    status.textContent = text;
    status.classList.toggle("fault", fault);
}

// ---- audio -----------------------------------------------------------------

async function ensureAudio() {
    if (page.audio) return page.audio;
    const context = new AudioContext({ sampleRate: kRate, latencyHint: "playback" });
    await context.audioWorklet.addModule("worklet.js");
    const node = new AudioWorkletNode(context, "velnari", { outputChannelCount: [2] });
    node.connect(context.destination);
    node.onprocessorerror = () => showStatus("the audio thread stopped with an error", true);
    const ready = new Promise((resolve) => {
        node.port.onmessage = (e) => {
            if (e.data.type === "ready") resolve();
            else if (e.data.type === "state") onState(e.data);
            else if (e.data.type.startsWith("keys:")) voiceWorkshop.onKeysMessage(e.data);
            else if (e.data.type === "error") {
                console.error(`audio thread: ${e.data.message}`);
                showStatus(`audio thread: ${e.data.message}`, true);
            }
        };
    });
    node.port.postMessage({ type: "init", module: page.wasmModule });
    await ready;
    page.audio = { context, node };
    // For the browser's developer tools and the tests, which listen to it.
    window.velnariAudio = page.audio;
    node.port.postMessage({ type: "mask", mask: currentMask() });
    node.port.postMessage({ type: "song", text: editor.state.doc.toString(), follow: false });
    node.port.postMessage({ type: "seek", frame: page.position, serial: page.seeks });
    sight.tell(node.port);
    return page.audio;
}

function sendSong(text, follow) {
    if (page.audio) page.audio.node.port.postMessage({ type: "song", text, follow });
    page.channels?.postMessage({ type: "song", text });
}

async function play() {
    if (!page.song) return;
    if (!window.AudioWorkletNode || !window.isSecureContext) {
        showStatus("playing needs the page at a secure address: 127.0.0.1, localhost or https", true);
        return;
    }
    const { context, node } = await ensureAudio();
    await context.resume();
    node.port.postMessage({ type: "play" });
    page.playing = true;
    updateTransport();
}

function pause() {
    if (page.audio) page.audio.node.port.postMessage({ type: "pause" });
    page.playing = false;
    updateTransport();
}

function seek(frame) {
    page.position = Math.max(0, Math.round(frame));
    page.seeks += 1;
    if (page.audio) page.audio.node.port.postMessage({ type: "seek", frame: page.position, serial: page.seeks });
    updatePosition();
}

function stop() {
    pause();
    seek(0);
}

function restart() {
    seek(0);
    if (!page.playing) play();
}

function onState(state) {
    sight.state(state);
    // A state sent before the audio thread had the latest seek (Stop pauses,
    // then seeks) tells a position the page has left.
    const current = !state.seeking && state.serial === page.seeks;
    if (state.playing !== undefined && current) page.position = state.frame;
    if (state.framesPerTick) page.framesPerTick = state.framesPerTick;
    updatePosition(state);
    if (state.playing && current) page.channels?.postMessage({ type: "at", frame: state.frame });
}

// The channels' worker answers a position with each channel's samples.
function startChannels() {
    const worker = new Worker("channels-worker.js", { type: "module" });
    worker.onmessage = (e) => {
        const msg = e.data;
        if (msg.type === "window") {
            page.views.forEach((v, k) => v.draw(msg.samples[k], msg.peaks[k], isMuted(k)));
        } else if (msg.type === "ready") {
            page.channels = worker;
            worker.postMessage({ type: "song", text: editor.state.doc.toString() });
        }
    };
    worker.onerror = (e) => console.error(`channel scopes: ${e.message}`);
    worker.postMessage({ type: "init", module: page.wasmModule });
}

// ---- parts: mute and solo --------------------------------------------------

function isMuted(part) {
    const anySolo = page.soloed.some((s) => s);
    return anySolo ? !page.soloed[part] : page.muted[part];
}

function currentMask() {
    return chipMaskMuting(page.muted.map((_, k) => isMuted(k)));
}

function applyMask() {
    if (page.audio) page.audio.node.port.postMessage({ type: "mask", mask: currentMask() });
    updateParts();
}

function buildParts() {
    const list = $("parts");
    for (let k = 0; k < PART_COUNT; ++k) {
        const row = document.createElement("div");
        row.className = "part";
        row.innerHTML = `
            <span class="name">${k + 1} <small>${kPartNames[k]}</small></span>
            <button class="mute" title="Mute part ${k + 1}" aria-label="mute part ${k + 1}" aria-pressed="false">M</button>
            <button class="solo" title="Solo part ${k + 1}" aria-label="solo part ${k + 1}" aria-pressed="false">S</button>
            <canvas class="scope" role="img" aria-label="part ${k + 1} oscilloscope"></canvas>
            <meter class="level" min="0" max="60" low="45" high="54" optimum="30" value="0" aria-label="part ${k + 1} level"></meter>
            <span class="pass" title="the pass through the part's loop now playing"></span>`;
        row.querySelector(".mute").onclick = () => {
            page.muted[k] = !page.muted[k];
            applyMask();
        };
        row.querySelector(".solo").onclick = () => {
            page.soloed[k] = !page.soloed[k];
            applyMask();
        };
        list.append(row);
        page.views.push(new ChannelView(row.querySelector(".scope"), row.querySelector(".level")));
    }
}

function updateParts() {
    const rows = document.querySelectorAll("#parts .part");
    rows.forEach((row, k) => {
        row.classList.toggle("unused", !!page.song && !page.song.partsUsed[k]);
        row.classList.toggle("silent", isMuted(k));
        row.querySelector(".mute").setAttribute("aria-pressed", String(page.muted[k]));
        row.querySelector(".solo").setAttribute("aria-pressed", String(page.soloed[k]));
    });
}

// ---- position --------------------------------------------------------------

function formatTime(frames) {
    const s = frames / kRate;
    const m = Math.floor(s / 60);
    return `${m}:${(s - 60 * m).toFixed(1).padStart(4, "0")}`;
}

// Ticks and frames through the song's own map, which follows its tempo changes.
function frameOfTick(tick) {
    return page.song ? page.song.frameOfTick(kRate, tick) : tick * page.framesPerTick;
}
function tickOfFrame(frame) {
    return page.song ? page.song.tickOfFrame(kRate, frame) : Math.floor(frame / page.framesPerTick);
}

function formatBar(frames) {
    const ticks = tickOfFrame(frames);
    const bar = Math.floor(ticks / page.ticksPerBar) + 1;
    const beat = Math.floor((ticks % page.ticksPerBar) / 16) + 1;
    return `${bar}.${beat}`;
}

function updatePosition(state) {
    const seekBar = $("seek");
    const length = Math.max(page.lengthFrames, page.position);
    seekBar.max = String(length);
    if (!seekBar.matches(":active")) seekBar.value = String(page.position);
    $("time").textContent = `${formatTime(page.position)} / ${formatTime(page.lengthFrames)}`;
    $("bar").textContent = `bar ${formatBar(page.position)} / ${Math.ceil(tickOfFrame(page.lengthFrames) / page.ticksPerBar)}`;
    if (state && state.passes) {
        const used = page.song ? page.song.partsUsed : [];
        const playing = state.passes.filter((_, k) => used[k] && state.active[k]);
        const loops = playing.length ? Math.min(...playing) : 0;
        $("loop").textContent = `loop ${loops + 1}`;
        document.querySelectorAll("#parts .pass").forEach((el, k) => {
            el.textContent = used[k] ? (state.active[k] ? `#${state.passes[k] + 1}` : "end") : "";
        });
    }
    $("seeking").hidden = !(state && (state.seeking || state.following));
}

function updateTransport() {
    const button = $("play");
    button.textContent = page.playing ? "❚❚" : "▶";
    button.title = page.playing ? "Pause (Ctrl+Enter)" : "Play (Ctrl+Enter)";
    button.setAttribute("aria-label", page.playing ? "pause" : "play");
}

// ---- downloads and sharing -------------------------------------------------

// Renders what the play button would play from the current position, with the
// current mute and solo: `loops` passes of the song from its start, or
// `seconds` from the position. Returns {pcm, what} (what it holds, for the
// file's name), or null.
function renderDownload() {
    if (!page.song) return null;
    const byPasses = $("length-mode").value === "loops";
    const amount = Number($("length").value);
    const pcm = page.song.download(kRate, currentMask(), byPasses, amount, page.position);
    if (!pcm) {
        showStatus("the loops do not end within 2000 bars: download seconds instead", true);
        return null;
    }
    const loops = Math.max(1, Math.round(amount));
    const what = byPasses
        ? `${loops} loop${loops > 1 ? "s" : ""}`
        : `from ${formatClock(page.position)}, ${Math.max(0, amount)} s`;
    return { pcm, what };
}

// A position as minutes and seconds for a file name, "1m30s" (tenths where
// there are any): browsers replace a ":" in a download's name.
function formatClock(frames) {
    const tenths = Math.round((frames / kRate) * 10);
    const m = Math.floor(tenths / 600);
    const s = (tenths - 600 * m) / 10;
    return `${m}m${String(Math.floor(s)).padStart(2, "0")}${s % 1 ? `.${Math.round((s % 1) * 10)}` : ""}s`;
}

function download(blob, name) {
    const a = document.createElement("a");
    a.href = URL.createObjectURL(blob);
    a.download = name;
    document.body.append(a);
    a.click();
    a.remove();
    setTimeout(() => URL.revokeObjectURL(a.href), 10000);
}

function currentSong() {
    return store.get(currentId);
}

// The song's name as part of a file name: characters no file system takes
// become "_".
function fileStem() {
    return (page.song?.title || currentSong()?.name || "song").replace(/[\\/:*?"<>|\x00-\x1f]/g, "_");
}

async function share() {
    const fragment = await fragmentFor(editor.state.doc.toString(), currentSong().name);
    history.replaceState(null, "", fragment);
    const link = location.href;
    $("share-link").value = link;
    $("share-link").hidden = false;
    $("share-link").select();
    try {
        await navigator.clipboard.writeText(link);
        showStatus("link copied", false);
    } catch {
        showStatus("link in the box above: copy it from there", false);
    }
}

// ---- songs: kept in the browser, opened from and saved to files ------------

function renderSongList() {
    const select = $("songs");
    select.replaceChildren(
        ...store.list().map((s) => {
            const unsaved = s.savedText !== null && s.savedText !== s.text;
            return new Option(unsaved ? `${s.name} (unsaved)` : s.name, s.id);
        }),
    );
    select.value = currentId ?? "";
    const song = currentSong();
    if (song && document.activeElement !== $("song-name")) $("song-name").value = song.name;
    $("kept").textContent = store.kept ? "kept in this browser" : "keeping…";
    document.body.dataset.kept = String(store.kept);
}

function openSong(id) {
    if (currentId !== null) editorStates.set(currentId, editor.state);
    const song = store.get(id);
    currentId = id;
    let state = editorStates.get(id);
    if (!state || state.doc.toString() !== song.text) {
        state = EditorState.create({ doc: song.text, extensions: editorExtensions });
    }
    editor.setState(state);
    store.setCurrent(id);
    renderSongList();
    clearTimeout(compileTimer); // compiled here and now, not again later
    compileNow(editor);
}

function addSong(fields) {
    openSong(store.add(fields).id);
}

function deleteSong() {
    const song = currentSong();
    if (!window.confirm(`Delete "${song.name}" from this browser? Its file on disk, if any, stays.`)) return;
    store.remove(song.id);
    editorStates.delete(song.id);
    fileHandles.delete(song.id);
    currentId = null;
    const next = store.list().at(-1);
    if (next) openSong(next.id);
    else addSong({ name: "untitled", text: "" });
}

// Opens each file as a new song; `handles`, where given, are where they save.
async function openFiles(files, handles = []) {
    for (const [k, file] of files.entries()) {
        const bytes = new Uint8Array(await file.arrayBuffer());
        if (bytes.length === 0) {
            showStatus(`${file.name} is empty: a song file holds at least one byte`, true);
            continue;
        }
        const { text, ...format } = decodeSongFile(bytes);
        const name = file.name.replace(/\.[^.]*$/, "") || file.name;
        const song = store.add({ name, text, format, savedText: text, fileName: file.name });
        if (handles[k]) fileHandles.set(song.id, handles[k]);
        openSong(song.id);
    }
}

async function chooseFiles() {
    if (!window.showOpenFilePicker) {
        $("open-file").click();
        return;
    }
    try {
        const handles = await window.showOpenFilePicker({ multiple: true, types: kFileTypes });
        await openFiles(await Promise.all(handles.map((h) => h.getFile())), handles);
    } catch (e) {
        if (e.name !== "AbortError") showStatus(`could not open: ${e.message}`, true);
    }
}

const kFileTypes = [{ description: "MML songs", accept: { "text/plain": [".mml"] } }];

// Saves the song to its file in the file's own encoding: the same file again
// where the browser lets the page write files (File System Access), else a
// download.
async function save() {
    const song = currentSong();
    let bytes;
    try {
        bytes = encodeSongFile(song.text, song.format);
    } catch (e) {
        showStatus(`not saved: ${e.message}`, true);
        return;
    }
    const suggested = song.fileName ?? `${fileStem()}.mml`;
    if (window.showSaveFilePicker) {
        try {
            let handle = fileHandles.get(song.id);
            if (!handle) {
                handle = await window.showSaveFilePicker({ suggestedName: suggested, types: kFileTypes });
                fileHandles.set(song.id, handle);
            }
            const out = await handle.createWritable();
            await out.write(bytes);
            await out.close();
            store.update(song.id, { savedText: song.text, fileName: handle.name });
            showStatus(`saved ${handle.name}`, false);
        } catch (e) {
            if (e.name !== "AbortError") showStatus(`not saved: ${e.message}`, true);
        }
        return;
    }
    download(new Blob([bytes], { type: "text/plain" }), suggested);
    store.update(song.id, { savedText: song.text, fileName: suggested });
}

// Every kept song in one zip, each in its file's encoding (UTF-8 where that
// cannot hold it).
function exportAll() {
    const names = new Set();
    const files = store.list().map((s) => {
        const stem = s.name.replace(/[\\/:*?"<>|\x00-\x1f]/g, "_");
        let name = `${stem}.mml`;
        for (let n = 2; names.has(name); ++n) name = `${stem} ${n}.mml`;
        names.add(name);
        let bytes;
        try {
            bytes = encodeSongFile(s.text, s.format);
        } catch {
            bytes = encodeSongFile(s.text, { ...s.format, encoding: "utf-8" });
        }
        return { name, bytes };
    });
    download(zipBlob(files), `velnari songs ${new Date().toISOString().slice(0, 10)}.zip`);
}

// ---- editor and start-up ---------------------------------------------------

function togglePlay() {
    if (page.playing) pause();
    else play();
    return true;
}

const shortcuts = [
    { key: "Mod-Enter", run: togglePlay, preventDefault: true },
    { key: "Mod-Shift-Enter", run: () => (restart(), true), preventDefault: true },
    { key: "Escape", run: () => (stop(), true) },
];

// The notes heard lit in the editor, the timeline, a range on repeat.
const sight = new Sight({
    rate: kRate,
    ticksPerBar: () => page.ticksPerBar,
    audio: () => page.audio,
    playing: () => page.playing,
    position: () => page.position,
    seek,
    play,
    goTo: (pos) => {
        editor.dispatch({ selection: { anchor: pos }, scrollIntoView: true });
        editor.focus();
    },
    status: (text) => showStatus(text, true),
});
window.velnariSight = sight; // for the tests

const editorExtensions = [
    sight.extension(),
    lineNumbers(),
    highlightActiveLine(),
    editHistory({ joinToEvent: voiceWorkshop.joinVoiceEdits }),
    lintGutter(),
    mmlLanguage,
    syntaxHighlighting(mmlHighlightStyle),
    keymap.of([...shortcuts, ...defaultKeymap, ...historyKeymap]),
    EditorView.updateListener.of((u) => {
        if (!u.docChanged) return;
        const fields = { text: u.state.doc.toString() };
        // An example whose whole text is replaced is no longer that example.
        const song = currentSong();
        if (song.example && u.startState.doc.length > 0) {
            u.changes.iterChangedRanges((fromA, toA) => {
                if (fromA === 0 && toA === u.startState.doc.length) {
                    fields.example = null;
                    fields.name = store.freeName("untitled", song.id);
                }
            });
        }
        store.update(currentId, fields);
        scheduleCompile(u.view);
    }),
    voiceWorkshop.voiceWorkshopListener,
    EditorView.lineWrapping,
    // Focusable by Tab as it is; the tabindex says so to checkers too.
    EditorView.contentAttributes.of({ "aria-label": "MML text", tabindex: "0" }),
];

const editor = new EditorView({
    parent: $("editor"),
    state: EditorState.create({ doc: "", extensions: editorExtensions }),
});

function bindControls() {
    $("play").onclick = togglePlay;
    $("stop").onclick = stop;
    $("restart").onclick = restart;
    $("seek").oninput = (e) => sight.seek(Number(e.target.value));
    $("goto-bar").onchange = (e) => {
        const bar = Math.max(1, Math.floor(Number(e.target.value) || 1));
        sight.seek(frameOfTick((bar - 1) * page.ticksPerBar));
    };
    $("share").onclick = share;
    $("wav").onclick = () => {
        const rendered = renderDownload();
        if (rendered) download(wavBlob(rendered.pcm, kRate), `${fileStem()} (${rendered.what}).wav`);
    };
    for (const format of ["vgm", "s98"]) {
        $(format).onclick = () => {
            if (!page.song) return;
            const bytes = page.song.registerLog(format, page.song.title || currentSong().name);
            if (!bytes) {
                showStatus(`the ${format} log would be larger than velnari reads back`, true);
                return;
            }
            download(new Blob([bytes], { type: "application/octet-stream" }), `${fileStem()}.${format}`);
        };
    }
    const select = $("examples");
    for (const name of Object.keys(examples)) select.add(new Option(name, name));
    select.onchange = () => {
        const name = select.value;
        select.value = "";
        if (name) addSong({ name: name.replace(/\.mml$/, ""), text: examples[name], example: name });
    };
    $("songs").onchange = (e) => openSong(e.target.value);
    $("song-name").onchange = (e) => {
        const name = e.target.value.trim() || "untitled";
        store.update(currentId, { name: store.freeName(name, currentId), example: null });
        e.target.value = currentSong().name;
    };
    $("new").onclick = () => addSong({ name: "untitled", text: "" });
    $("duplicate").onclick = () => {
        const song = currentSong();
        addSong({ name: `${song.name} copy`, text: song.text, format: song.format });
    };
    $("delete").onclick = deleteSong;
    $("open").onclick = chooseFiles;
    $("open-file").onchange = async (e) => {
        await openFiles([...e.target.files]);
        e.target.value = "";
    };
    $("save").onclick = save;
    $("export").onclick = exportAll;
    $("plain").onchange = () => compileNow(editor);
    $("problems-toggle").onclick = () => {
        const open = $("problems").hidden;
        $("problems").hidden = !open;
        $("problems-toggle").setAttribute("aria-expanded", String(open));
    };
    // Files dropped anywhere on the page open as new songs.
    document.addEventListener("dragover", (e) => {
        if (e.dataTransfer?.types.includes("Files")) e.preventDefault();
    });
    document.addEventListener("drop", (e) => {
        if (!e.dataTransfer?.files.length) return;
        e.preventDefault();
        // Register logs give their voices; everything else opens as songs.
        const files = [...e.dataTransfer.files];
        const logs = files.filter(voiceWorkshop.isRegisterLogFile);
        if (logs.length) voiceWorkshop.openRegisterLogs(logs);
        if (logs.length < files.length) openFiles(files.filter((f) => !voiceWorkshop.isRegisterLogFile(f)));
    });
    // Outside the editor, the bare keys work too.
    document.addEventListener("keydown", (e) => {
        if (editor.hasFocus || e.target.matches("input, select, textarea, button")) return;
        if (e.key === " ") {
            e.preventDefault();
            togglePlay();
        } else if (e.key === "r" || e.key === "R") restart();
        else if (e.key === "Escape") stop();
    });
    // What is typed is written a moment later; leaving writes it now, and
    // asks first when a song from a file has changes not saved to it.
    store.onChange = renderSongList;
    addEventListener("pagehide", () => store.flush());
    document.addEventListener("visibilitychange", () => {
        if (document.visibilityState === "hidden") store.flush();
    });
    addEventListener("beforeunload", (e) => {
        store.flush();
        if (store.unsaved().length) {
            e.preventDefault();
            e.returnValue = "";
        }
    });
}

// The song to show first: a shared link's (as a new song), else the one open
// last, else the demo.
async function openFirstSong() {
    let last = null;
    let unkept = false;
    try {
        last = await store.load();
    } catch (e) {
        console.warn(`the browser's storage cannot be read: ${e.message}`);
        unkept = true;
    }
    const shared = await songFromFragment(location.hash);
    if (shared !== null) {
        // The link has done its work: a reload opens the kept song.
        history.replaceState(null, "", location.pathname + location.search);
        addSong({ name: shared.name ?? "shared song", text: shared.text });
        return;
    }
    if (last !== null) openSong(last);
    else addSong({ name: "demo", text: examples["demo.mml"], example: "demo.mml" });
    if (location.hash) showStatus("the link holds no song that can be read: here is the last song", true);
    if (unkept) showStatus("this browser keeps no songs for the page: save your work to files", true);
}

async function start() {
    buildParts();
    bindControls();
    page.wasmModule = await WebAssembly.compileStreaming(fetch("velnari.wasm"));
    page.velnari = await loadVelnari(page.wasmModule);
    page.ticksPerBar = page.velnari.ticksPerBar;
    startChannels();
    voiceWorkshop.bindLogVoicesPanel();
    voiceWorkshop.startVoiceWorkshop({
        editor,
        velnari: page.velnari,
        song: () => page.song,
        audio: ensureAudio,
        status: showStatus,
        rate: kRate,
    });
    await openFirstSong();
    updateTransport();
    // The browser may clear its storage when space runs short, unless asked
    // to keep it.
    navigator.storage?.persist?.().then((kept) => (document.body.dataset.persistent = String(kept)));
    if ("serviceWorker" in navigator) {
        navigator.serviceWorker.register("sw.js").catch((e) => console.warn(`no offline copy: ${e.message}`));
    }
    document.body.dataset.ready = "true";
}

start().catch((e) => {
    showStatus(`could not start: ${e.message}`, true);
    throw e;
});
