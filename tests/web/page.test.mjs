// The web page in a real browser: what it plays must be what the command line
// renders for the same song, mute, solo and position.

import { test, before, after, afterEach } from "node:test";
import assert from "node:assert/strict";
import { execFileSync, spawnSync } from "node:child_process";
import { createHash } from "node:crypto";
import { mkdir, mkdtemp, readFile, readdir, rm, writeFile } from "node:fs/promises";
import os from "node:os";
import path from "node:path";
import { openBrowser, openPage, repo, serveFolder, webDir } from "./browser.mjs";

const velnari = process.env.VELNARI_CLI ?? path.join(repo, "build/release/velnari");
const kRate = 44100;

// Raw 16-bit stereo frames from `velnari render ... -o -`.
function cliRender(song, ...options) {
    return execFileSync(velnari, ["render", path.join(repo, "examples", song), ...options, "-o", "-"], {
        maxBuffer: 1 << 28,
    });
}

const sha = (bytes) => createHash("sha256").update(bytes).digest("hex");

// Clicks "Download WAV" for `amount` seconds from the current position, or
// `amount` loops from the start; the PCM data.
async function downloadSeconds(page, amount, mode = "seconds") {
    return (await downloadWav(page, amount, mode)).pcm;
}

// The same, with the file's name: {pcm, name}.
async function downloadWav(page, amount, mode) {
    await page.selectOption("#length-mode", mode);
    await page.fill("#length", String(amount));
    const [download] = await Promise.all([page.waitForEvent("download"), page.click("#wav")]);
    const wav = await readFile(await download.path());
    assert.equal(wav.toString("latin1", 36, 40), "data");
    return { pcm: wav.subarray(44), name: download.suggestedFilename() };
}

// Replaces the editor's whole text, as typing would.
async function typeText(page, text) {
    await page.locator(".cm-content").click();
    await page.keyboard.press("Control+A");
    await page.keyboard.insertText(text);
}

// Saves a picture of the page in build/web-test/ (docs/web.md shows them).
async function screenshot(page, name, options = {}) {
    await mkdir(path.join(repo, "build/web-test"), { recursive: true });
    await page.screenshot({ path: path.join(repo, "build/web-test", name), ...options });
}

// The editor's text (of a song short enough to be all in view).
const editorText = (page) =>
    page.evaluate(() => [...document.querySelectorAll(".cm-line")].map((l) => l.textContent).join("\n"));

let browser;
before(async () => {
    browser = await openBrowser();
});
after(async () => {
    await browser?.close();
});
// A page left open plays on (its song loops) and keeps drawing, taking the
// machine from the tests after it: each test's pages close when it ends.
afterEach(async () => {
    for (const context of browser.browser.contexts()) {
        for (const page of context.pages()) await page.close();
    }
});

test("every example plays its first 10 s as the command line renders them", async () => {
    const { page, errors } = await openPage(browser);
    const songs = (await readdir(path.join(repo, "examples"))).filter((n) => n.endsWith(".mml"));
    assert.ok(songs.length >= 3);
    for (const song of songs) {
        await page.selectOption("#examples", song);
        await page.waitForFunction(() => document.querySelector("#status").textContent.startsWith("compiled"));
        const pcm = await downloadSeconds(page, 10);
        assert.equal(sha(pcm), sha(cliRender(song, "--seconds", "10")), song);
    }
    // Whole loops end where the command line's do; register logs are its files.
    const song = songs.at(-1);
    const loops = await downloadSeconds(page, 2, "loops");
    assert.equal(sha(loops), sha(cliRender(song, "--loops", "2", "--fade", "0")));
    const scratch = await mkdtemp(path.join(os.tmpdir(), "velnari-web-"));
    for (const format of ["vgm", "s98"]) {
        const [download] = await Promise.all([page.waitForEvent("download"), page.click(`#${format}`)]);
        const file = path.join(scratch, song.replace(/mml$/, format));
        execFileSync(velnari, ["render", path.join(repo, "examples", song), "-o", file]);
        assert.equal(sha(await readFile(await download.path())), sha(await readFile(file)), format);
    }
    await rm(scratch, { recursive: true });
    assert.deepEqual(errors, []);
});

test("mute, solo and a seek to a bar give the command line's output", async () => {
    const { page, errors } = await openPage(browser);
    const parts = page.locator("#parts .part");
    // [buttons to press (part, kind)], command-line options
    const cases = [
        [[[2, "mute"]], ["--mute", "2"]],
        [[[1, "solo"], [4, "solo"]], ["--solo", "1,4"]],
    ];
    for (const [presses, options] of cases) {
        for (const [part, kind] of presses) await parts.nth(part - 1).locator(`.${kind}`).click();
        const pcm = await downloadSeconds(page, 3);
        assert.equal(sha(pcm), sha(cliRender("demo.mml", "--seconds", "3", ...options)), options.join(" "));
        for (const [part, kind] of presses) await parts.nth(part - 1).locator(`.${kind}`).click();
    }

    // Bar 4 of the demo starts 3 bars of 64 ticks in; its frames must be the
    // same frames of a render from the start.
    await page.fill("#goto-bar", "4");
    await page.press("#goto-bar", "Enter");
    const frame = Number(await page.inputValue("#seek"));
    assert.ok(frame > 0);
    const pcm = await downloadSeconds(page, 2);
    const full = cliRender("demo.mml", "--seconds", String((frame + 2 * kRate) / kRate + 1));
    assert.equal(sha(pcm), sha(full.subarray(frame * 4, frame * 4 + 2 * kRate * 4)));
    assert.deepEqual(errors, []);
});

// A song that slows down and speeds up: the page's bar 3 starts where the
// command line's --start-tick of that bar does.
test("a seek to a bar of a song that changes its tempo gives the command line's --start-tick output", async () => {
    const { page, errors } = await openPage(browser);
    const song = "4: v12 o4 l8 cdef gab>c !t80,40 c1 !t150 cdef gab>c c1\n";
    const demoLength = await page.getAttribute("#seek", "max");
    await typeText(page, song);
    // Compiled once the seek bar has the song's own length.
    await page.waitForFunction((max) => document.querySelector("#seek").max !== max, demoLength);
    await page.fill("#goto-bar", "3");
    await page.press("#goto-bar", "Enter");
    const frame = Number(await page.inputValue("#seek"));
    const pcm = await downloadSeconds(page, 2);
    const scratch = await mkdtemp(path.join(os.tmpdir(), "velnari-web-"));
    const file = path.join(scratch, "tempo.mml");
    await writeFile(file, song);
    const seconds = String((frame + 2 * kRate) / kRate + 1);
    const cli = execFileSync(velnari, ["render", file, "--start-tick", "128", "--seconds", seconds, "-o", "-"], {
        maxBuffer: 1 << 28,
    });
    await rm(scratch, { recursive: true });
    assert.equal(sha(pcm), sha(cli.subarray(0, 2 * kRate * 4)));
    assert.deepEqual(errors, []);
});

test("a fault is underlined where the compile stopped, cleared when mended, then warnings", async () => {
    const { page, errors } = await openPage(browser);
    const text = "1: t120 o4 l8 @2 c\n2: c d e ! f g\n";
    await page.selectOption("#examples", "");
    await page.locator(".cm-content").click();
    await page.keyboard.press("Control+A");
    await page.keyboard.insertText(text);
    const mark = page.locator(".cm-lintRange-error");
    await mark.waitFor();
    assert.equal(await mark.textContent(), "!");
    const lines = page.locator(".cm-line");
    assert.equal(await lines.nth(1).locator(".cm-lintRange-error").count(), 1);
    assert.match(await page.textContent("#status"), /^line 2, column 10/);

    // Mend it: the underline goes and the song compiles.
    await lines.nth(1).click();
    await page.keyboard.press("End");
    for (let i = 0; i < "! f g".length; ++i) await page.keyboard.press("Backspace");
    await page.keyboard.insertText("f g");
    await page.waitForFunction(() => document.querySelector("#status").textContent.startsWith("compiled"));
    assert.equal(await mark.count(), 0);
    // The song compiles, but voice 2 is never defined: a warning on its "@2".
    const warning = lines.nth(0).locator(".cm-lintRange-warning");
    assert.equal(await warning.textContent(), "@2");
    assert.match(await page.textContent("#status"), /^compiled, \d+ warnings?/);
    assert.deepEqual(errors, []);
});

test("a shared link opens the same song", async () => {
    const { page, errors } = await openPage(browser);
    await page.selectOption("#examples", "festival.mml");
    const shareLink = async (p) => {
        await p.click("#share");
        await p.locator("#share-link").waitFor();
        return p.inputValue("#share-link");
    };
    const link = await shareLink(page);
    assert.match(link, /#song=[A-Za-z0-9_-]+&name=festival$/);
    const opened = await openPage(browser, link.slice(link.indexOf("#")));
    // The opened page shares the same text again: the same link.
    assert.equal(await shareLink(opened.page), link);
    assert.equal(sha(await downloadSeconds(opened.page, 2)), sha(cliRender("festival.mml", "--seconds", "2")));
    assert.deepEqual([...errors, ...opened.errors], []);

    // A damaged link says so and opens the demo.
    const damaged = await openPage(browser, "#song=AAAA");
    assert.match(await damaged.page.textContent("#status"), /no song that can be read/);
    assert.equal(await damaged.page.inputValue("#song-name"), "demo");
});

// Records what the page's audio node plays, from the moment it is called:
// resolves to a function that stops and returns the left channel as 16-bit
// samples (the node's output is its engine's samples / 32768, exactly).
async function listen(page) {
    await page.evaluate(async () => {
        const { context, node } = window.velnariAudio;
        const source = `registerProcessor("recorder", class extends AudioWorkletProcessor {
            process(inputs) { if (inputs[0][0]) this.port.postMessage(inputs[0][0].slice()); return true; }
        });`;
        window.recorderAdded ??= context.audioWorklet.addModule(
            URL.createObjectURL(new Blob([source], { type: "text/javascript" })),
        );
        await window.recorderAdded;
        const recorder = new AudioWorkletNode(context, "recorder");
        window.recorded = [];
        recorder.port.onmessage = (e) => window.recorded.push(...e.data);
        node.connect(recorder);
        window.stopRecording = () => node.disconnect(recorder);
    });
    return async () => {
        const samples = await page.evaluate(() => (window.stopRecording(), window.recorded));
        return Int16Array.from(samples, (s) => Math.round(s * 32768));
    };
}

// Where `heard` (from its first sound on) lies in `rendered`: [heard's first
// sound, the same sample in rendered], or null.
function align(heard, rendered, probe = 2048) {
    const h = heard.findIndex((s) => s !== 0);
    for (let r = 0; h >= 0 && r + probe <= rendered.length; ++r) {
        let k = 0;
        while (k < probe && rendered[r + k] === heard[h + k]) ++k;
        if (k === probe) return [h, r];
    }
    return null;
}

test("the demo plays as rendered, and an edit while it plays keeps its place", async () => {
    const { page, errors } = await openPage(browser);
    await page.click("#play");
    await page.waitForFunction(() => window.velnariAudio);
    const stop = await listen(page);
    await page.waitForFunction(() => /^0:0[1-9]/.test(document.querySelector("#time").textContent));
    // A harmless edit (a comment) recompiles; playback goes on from where it
    // was, so what is heard stays the render from the start.
    await page.locator(".cm-content").click();
    await page.keyboard.press("Control+End");
    // Line breaks by Enter: inserted text with breaks in it can reach the
    // editor as a change elsewhere in the text when that is out of view.
    await page.keyboard.press("Enter");
    await page.keyboard.insertText("; edited while playing");
    await page.keyboard.press("Enter");
    await page.waitForFunction(() => document.querySelector("#status").textContent.startsWith("compiled"));
    await page.waitForFunction(() => /^0:0[3-9]/.test(document.querySelector("#time").textContent));
    const heard = await stop();

    const cli = cliRender("demo.mml", "--seconds", "20");
    const rendered = Int16Array.from({ length: cli.length / 4 }, (_, k) => cli.readInt16LE(4 * k));
    const [h, r] = align(heard, rendered) ?? assert.fail("what was heard is not in the render");
    const length = Math.min(heard.length - h, rendered.length - r);
    assert.ok(length > 2 * kRate, `heard ${length} frames`);
    assert.deepEqual(heard.subarray(h, h + length), rendered.subarray(r, r + length));

    // A seek while playing lands on the render's own samples, from the bar on.
    await page.fill("#goto-bar", "6");
    await page.press("#goto-bar", "Enter");
    const barFrame = Number(await page.inputValue("#seek"));
    await page.waitForFunction((f) => Number(document.querySelector("#seek").value) > f + 4410, barFrame);
    const stopAgain = await listen(page);
    await page.waitForFunction((f) => Number(document.querySelector("#seek").value) > f + 2 * 44100, barFrame);
    const afterSeek = await stopAgain();
    const [h2, r2] = align(afterSeek, rendered) ?? assert.fail("what was heard after the seek is not in the render");
    assert.ok(r2 >= barFrame, `${r2} >= ${barFrame}`);
    const length2 = afterSeek.length - h2;
    assert.ok(length2 > kRate / 2, `heard ${length2} frames after the seek`);
    assert.deepEqual(afterSeek.subarray(h2), rendered.subarray(r2, r2 + length2));

    // Every used part shows a level: the meters follow what each channel plays.
    const levels = await page.locator("#parts .level").evaluateAll((ms) => ms.map((m) => Number(m.value)));
    assert.ok(levels.filter((v) => v > 0).length >= 4, String(levels));
    await page.emulateMedia({ colorScheme: "dark" });
    await screenshot(page, "demo-playing.png");
    await page.emulateMedia({ colorScheme: "light" });
    await screenshot(page, "demo-playing-light.png");
    await page.setViewportSize({ width: 390, height: 844 });
    await screenshot(page, "demo-phone.png", { fullPage: true });
    // Stop goes back to the start, and the page shows it there.
    await page.click("#stop");
    await page.waitForTimeout(500);
    assert.equal(await page.inputValue("#seek"), "0");
    assert.deepEqual(errors, []);
});

// `info --notes --json` of an example: {notes, loopTick}, each note with the
// places ("line:column") of its text and of the macro calls that reached it.
function cliNotes(song, ...options) {
    const out = execFileSync(velnari, ["info", path.join(repo, "examples", song), "--notes", "--json", ...options]);
    const list = JSON.parse(out);
    const notes = list.notes.map((n) => ({
        ...n,
        places: [n.source, ...n.source.macros].map((s) => `${s.line}:${s.column}`).sort(),
    }));
    return { notes, loopTick: list.loopTick };
}

// `seconds` of the render of `song` from tick `tick` (at frame `frame`):
// --seconds counts from the piece's beginning.
function cliFromTick(song, tick, frame, seconds) {
    const pcm = cliRender(song, "--start-tick", String(tick), "--seconds", String(frame / kRate + seconds + 1));
    return pcm.subarray(0, Math.round(seconds * kRate) * 4);
}

// The places "line:column" (1-based) of offsets `from` in `text`.
function placeOf(text, from) {
    const before = text.slice(0, from).split("\n");
    return `${before.length}:${before.at(-1).length + 1}`;
}

test("the notes heard are lit in the text, as info --notes lists them; Alt+click plays from a note", async () => {
    const { page, errors } = await openPage(browser);
    const text = await readFile(path.join(repo, "examples/demo.mml"), "latin1");
    const { loopTick } = cliNotes("demo.mml");
    const { notes } = cliNotes("demo.mml", "--seconds", "40");
    let latest = 0;
    await page.check("#follow");
    await page.click("#play");
    // Ten looks while it plays, five from the start and five from bar 12 on
    // into the second pass: each part's lit text is the note the command
    // line lists for that part at the tick heard (one tick either side).
    for (let look = 0; look < 10; ++look) {
        if (look === 5) {
            await page.fill("#goto-bar", "12");
            await page.press("#goto-bar", "Enter");
        }
        await page.waitForTimeout(700);
        const { tick, lit } = await page.evaluate(() => window.velnariSight.seen());
        latest = Math.max(latest, tick);
        for (let part = 1; part <= 6; ++part) {
            const shown = lit.filter((r) => r.part === part - 1).map((r) => placeOf(text, r.from)).sort();
            const near = [tick - 1, tick, tick + 1].map(
                (t) => notes.find((n) => n.part === part && n.tick <= t && t < n.tick + n.ticks)?.places ?? [],
            );
            assert.ok(
                near.some((places) => places.join() === shown.join()),
                `tick ${tick}, part ${part}: lit ${shown}, listed ${near.map((p) => p.join(" ")).join(" | ")}`,
            );
        }
        assert.ok(lit.length >= 4, `tick ${tick}: ${lit.length} lit`);
    }
    assert.ok(latest > loopTick, `looked up to tick ${latest}, the song loops at ${loopTick}`);
    // Following, the editor shows the lit notes.
    assert.ok((await page.locator(".cm-sounding[data-part]").count()) > 0);
    await page.setViewportSize({ width: 1280, height: 1000 });
    await page.emulateMedia({ colorScheme: "dark" });
    await screenshot(page, "sight.png");
    await page.emulateMedia({ colorScheme: "light" });

    // Alt+click on a note written once and played more than once (from a
    // macro), from bar 3: it plays from the next time it sounds.
    await page.click("#play");
    const counts = new Map();
    for (const n of notes) {
        const own = `${n.source.line}:${n.source.column}`;
        counts.set(own, [...(counts.get(own) ?? []), n.tick]);
    }
    const [place, ticks] = [...counts].find(([, t]) => t.length >= 3 && t[1] > 128);
    await page.fill("#goto-bar", "3");
    await page.press("#goto-bar", "Enter");
    const expected = ticks.find((t) => t >= 128);
    const stop = await listen(page);
    const [line, column] = place.split(":").map(Number);
    const at = await page.evaluate(
        ([line, column]) => {
            const sight = window.velnariSight;
            const pos = sight.editor.state.doc.line(line).from + column - 1;
            sight.page.goTo(pos);
            return pos;
        },
        [line, column],
    );
    await page.waitForTimeout(200);
    const box = await page.evaluate((pos) => window.velnariSight.editor.coordsAtPos(pos), at);
    await page.keyboard.down("Alt");
    await page.mouse.click(box.left + 2, (box.top + box.bottom) / 2);
    await page.keyboard.up("Alt");
    await page.waitForTimeout(1200);
    const heard = await stop();
    const from = await page.evaluate((t) => window.velnariSight.frameOfTick(t), expected);
    const cli = cliFromTick("demo.mml", expected, from, 2);
    const rendered = Int16Array.from({ length: cli.length / 4 }, (_, k) => cli.readInt16LE(4 * k));
    // Bar 3 goes on sounding while the note's tick is run ahead to; from a
    // moment in, what is heard is the render from that tick, which began
    // within a quarter of a second of the first sound.
    const sound = heard.findIndex((s) => s !== 0);
    const skip = sound + Math.round(0.3 * kRate);
    const [h, r] = align(heard.subarray(skip), rendered) ?? assert.fail(`${place} did not play from tick ${expected}`);
    const lag = skip + h - sound - r;
    assert.ok(lag >= 0 && lag < kRate / 4, `tick ${expected} began ${lag} frames after the first sound`);
    assert.deepEqual(errors, []);
});

test("the timeline seeks to a tick, and a range of bars repeats, as --start-tick renders them", async () => {
    const { page, errors } = await openPage(browser);
    // A click on the bar numbers seeks to the tick under it.
    const timeline = page.locator("#timeline");
    await timeline.click({ position: { x: 260, y: 8 } });
    const frame = Number(await page.inputValue("#seek"));
    const tick = await page.evaluate((f) => window.velnariSight.song.tickOfFrame(44100, f), frame);
    assert.ok(tick > 0);
    assert.equal(await page.evaluate((t) => window.velnariSight.frameOfTick(t), tick), frame);
    const pcm = await downloadSeconds(page, 2);
    assert.equal(sha(pcm), sha(cliFromTick("demo.mml", tick, frame, 2)));

    // Bar 3 on repeat: every pass is bar 3 as a render from its first tick
    // (after the first quantum, which fades the pass before out).
    await page.fill("#range-first", "3");
    await page.fill("#range-last", "3");
    await page.click("#range-repeat");
    await page.click("#play");
    await page.waitForFunction(() => window.velnariAudio);
    const stop = await listen(page);
    const [first, end] = await page.evaluate(() => [128, 192].map((t) => window.velnariSight.frameOfTick(t)));
    const length = end - first;
    await page.waitForTimeout((3.2 * length * 1000) / kRate);
    const heard = await stop();
    const cli = cliFromTick("demo.mml", 128, first, length / kRate);
    const pass = Int16Array.from({ length }, (_, k) => cli.readInt16LE(4 * k));
    // From a moment in: the first quantum or so is the hand-over to the range.
    let [h, r] = align(heard.subarray(4096), pass, 512) ?? assert.fail("what was heard is not bar 3");
    h += 4096;
    let passes = 0;
    for (let start = h + length - r; start + length <= heard.length; start += length, ++passes) {
        assert.deepEqual(heard.subarray(start, start + length), pass, `pass ${passes + 2}`);
    }
    assert.ok(passes >= 2, `${passes} whole passes heard`);
    // Hovering a note of part 1 in bar 3 names it and its line.
    const spot = await page.evaluate(() => {
        const timeline = window.velnariSight.timeline;
        const note = timeline.song.notes.byPart[0].find((n) => n.tick >= 128);
        return { x: timeline.x(note.from) + 2, y: 18 + 11 };
    });
    await timeline.hover({ position: spot });
    const { notes } = cliNotes("demo.mml");
    const hovered = notes.find((n) => n.part === 1 && n.tick >= 128);
    assert.match(
        await page.textContent("#timeline-tip"),
        new RegExp(`^[A-G]#?\\d, ${hovered.ticks} ticks \\(\\d\\.\\d\\d s\\), line ${hovered.source.line}$`),
    );
    await page.emulateMedia({ colorScheme: "dark" });
    await screenshot(page, "timeline.png", { clip: { x: 0, y: 480, width: 1280, height: 240 } });
    // A click on it puts the cursor on its text.
    await timeline.click({ position: spot });
    const cursor = await page.evaluate(() => {
        const { state } = window.velnariSight.editor;
        const line = state.doc.lineAt(state.selection.main.head);
        return `${line.number}:${state.selection.main.head - line.from + 1}`;
    });
    assert.equal(cursor, `${hovered.source.line}:${hovered.source.column}`);
    // Released, it plays on past the range.
    await page.click("#range-repeat");
    await page.waitForFunction(
        (e) => Number(document.querySelector("#seek").value) > e + 4410,
        end,
    );
    // On repeat again, a seek out of the range releases it, and the song
    // plays on from the point sought.
    await page.click("#range-repeat");
    await page.fill("#goto-bar", "6");
    await page.press("#goto-bar", "Enter");
    assert.equal(await page.getAttribute("#range-repeat", "aria-pressed"), "false");
    const sought = await page.evaluate(() => window.velnariSight.frameOfTick(5 * 64));
    await page.waitForFunction((f) => Number(document.querySelector("#seek").value) > f + 4410, sought);
    assert.deepEqual(errors, []);
});

test("songs are kept: a reload brings the text back, songs stay apart, examples open as new songs", async () => {
    const { page, errors } = await openPage(browser);
    const first = "; kept\n4: t120 o4 l8 v12 c d e f g";
    await typeText(page, first);
    await page.waitForSelector("body[data-kept=true]");
    await page.reload();
    await page.waitForSelector("body[data-ready=true]");
    assert.equal(await editorText(page), first);

    // A second song, then back to the first: each keeps its own text, and
    // its undo history.
    await page.locator(".cm-content").click();
    await page.keyboard.press("Control+End");
    await page.keyboard.insertText(" a b");
    await page.click("#new");
    const second = "; another\n5: t90 o3 l4 v10 c e g";
    await typeText(page, second);
    const songs = page.locator("#songs option");
    assert.deepEqual(await songs.allTextContents(), ["untitled", "untitled 2"]);
    await page.selectOption("#songs", { label: "untitled" });
    assert.equal(await editorText(page), `${first} a b`);
    await page.locator(".cm-content").click();
    await page.keyboard.press("Control+Z");
    assert.equal(await editorText(page), first);
    // An example is a new song; the others stay as they were.
    await page.selectOption("#examples", "clockwork.mml");
    assert.deepEqual(await songs.allTextContents(), ["untitled", "untitled 2", "clockwork"]);
    await page.waitForSelector("body[data-kept=true]");
    await page.reload();
    await page.waitForSelector("body[data-ready=true]");
    assert.equal(await page.inputValue("#song-name"), "clockwork");
    await page.selectOption("#songs", { label: "untitled 2" });
    assert.equal(await editorText(page), second);
    await page.selectOption("#songs", { label: "untitled" });
    assert.equal(await editorText(page), first);

    // All of them at once: a zip that an unzip program reads back whole.
    const [download] = await Promise.all([page.waitForEvent("download"), page.click("#export")]);
    const unzip = "import sys, zipfile, json; z = zipfile.ZipFile(sys.argv[1]); assert z.testzip() is None; " +
        "print(json.dumps({n: z.read(n).decode() for n in z.namelist()}))";
    const files = JSON.parse(execFileSync("python3", ["-c", unzip, await download.path()], { encoding: "utf8" }));
    assert.deepEqual(Object.keys(files), ["untitled.mml", "untitled 2.mml", "clockwork.mml"]);
    assert.equal(files["untitled.mml"], first);
    assert.equal(files["clockwork.mml"], await readFile(path.join(repo, "examples/clockwork.mml"), "latin1"));
    await screenshot(page, "songs.png", { clip: { x: 0, y: 0, width: 1280, height: 240 } });
    assert.deepEqual(errors, []);
});

// A stand-in for the File System Access save picker: records what is written
// and how often a file was chosen.
async function fakeSavePicker(page) {
    await page.evaluate(() => {
        window.saved = { picks: 0, bytes: null };
        window.showSaveFilePicker = async (options) => {
            window.saved.picks += 1;
            return {
                name: options.suggestedName,
                async createWritable() {
                    const chunks = [];
                    return {
                        write: async (data) => chunks.push(new Uint8Array(data)),
                        close: async () => (window.saved.bytes = [...chunks.flatMap((c) => [...c])]),
                    };
                },
            };
        };
    });
    return async () => {
        await page.click("#save");
        await page.waitForFunction(() => window.saved.bytes !== null);
        const result = await page.evaluate(() => window.saved);
        await page.evaluate(() => (window.saved.bytes = null));
        return { picks: result.picks, bytes: Buffer.from(result.bytes) };
    };
}

test("a Shift-JIS file opens, saves back byte for byte, and stays Shift-JIS with a Japanese comment", async () => {
    const { page, errors } = await openPage(browser);
    const fixtures = path.join(repo, "tests/web/fixtures");
    const original = await readFile(path.join(fixtures, "nocturne.mml"));
    await page.setInputFiles("#open-file", path.join(fixtures, "nocturne.mml"));
    await page.waitForFunction(() => document.querySelector("#song-name").value === "nocturne");
    assert.match(await editorText(page), /^; ノクターン～試作－ｶﾀｶﾅ\n4: /);
    const save = await fakeSavePicker(page);

    // An edit undone: the same bytes as the file.
    await page.locator(".cm-content").click();
    await page.keyboard.press("Control+End");
    await page.keyboard.insertText("x");
    await page.keyboard.press("Control+Z");
    assert.deepEqual(await save(), { picks: 1, bytes: original });

    // A Japanese comment added: Shift-JIS with the file's CR LF line ends,
    // written to the same file without asking again.
    await page.keyboard.press("Control+End");
    await page.keyboard.insertText("; 夜に弾く");
    await page.keyboard.press("Enter");
    assert.deepEqual(await save(), { picks: 1, bytes: await readFile(path.join(fixtures, "nocturne-commented.mml")) });

    // A UTF-8 file with a byte-order mark, dropped on the page, saves as it came.
    const dropped = Buffer.from("\ufeff; ドロップ\n4: t120 o4 l8 c d e\n");
    await page.evaluate((bytes) => {
        const data = new DataTransfer();
        data.items.add(new File([new Uint8Array(bytes)], "dropped.mml"));
        document.body.dispatchEvent(new DragEvent("drop", { dataTransfer: data, bubbles: true, cancelable: true }));
    }, [...dropped]);
    await page.waitForFunction(() => document.querySelector("#song-name").value === "dropped");
    assert.deepEqual(await save(), { picks: 2, bytes: dropped });

    // A change not saved to the file: leaving the page asks first.
    await page.locator(".cm-content").click();
    await page.keyboard.insertText("; not saved");
    const asked = page.waitForEvent("dialog").then((dialog) => (dialog.dismiss(), dialog.type()));
    await page.close({ runBeforeUnload: true });
    assert.equal(await asked, "beforeunload");
    assert.deepEqual(errors, []);
});

test("a song named Night Drive: the downloads, the VGM's title and the share link are named for it", async () => {
    const { page, errors } = await openPage(browser);
    const text = await readFile(path.join(repo, "examples/festival.mml"), "latin1");
    await typeText(page, text);
    // With its whole text replaced, the demo is not the demo any more.
    assert.equal(await page.inputValue("#song-name"), "untitled");
    await page.fill("#song-name", "Night Drive");
    await page.press("#song-name", "Enter");
    assert.deepEqual(await page.locator("#songs option").allTextContents(), ["Night Drive"]);

    assert.equal((await downloadWav(page, 2, "loops")).name, "Night Drive (2 loops).wav");
    await page.fill("#goto-bar", "3");
    await page.press("#goto-bar", "Enter");
    assert.match((await downloadWav(page, 20, "seconds")).name, /^Night Drive \(from 0m0[1-9](\.\d)?s, 20 s\)\.wav$/);
    // The register log is the command line's for a file of that name.
    const scratch = await mkdtemp(path.join(os.tmpdir(), "velnari-web-"));
    const songFile = path.join(scratch, "Night Drive.mml");
    await writeFile(songFile, text, "latin1");
    const [download] = await Promise.all([page.waitForEvent("download"), page.click("#vgm")]);
    assert.equal(download.suggestedFilename(), "Night Drive.vgm");
    execFileSync(velnari, ["render", songFile, "-o", path.join(scratch, "cli.vgm")]);
    const vgm = await readFile(await download.path());
    assert.equal(sha(vgm), sha(await readFile(path.join(scratch, "cli.vgm"))));
    assert.ok(vgm.includes(Buffer.from("Night Drive", "utf16le")));
    await rm(scratch, { recursive: true });

    await page.click("#share");
    await page.locator("#share-link").waitFor();
    const link = await page.inputValue("#share-link");
    const opened = await openPage(browser, link.slice(link.indexOf("#")));
    assert.equal(await opened.page.inputValue("#song-name"), "Night Drive");
    assert.deepEqual([...errors, ...opened.errors], []);
});

// What `velnari check --format gnu` prints for `text`, as
// {severity, line, column, text} (line and column 0 where it gives none).
async function cliCheck(text) {
    const scratch = await mkdtemp(path.join(os.tmpdir(), "velnari-web-"));
    const file = path.join(scratch, "song.mml");
    await writeFile(file, text);
    const { stderr } = spawnSync(velnari, ["check", "--format", "gnu", file], { encoding: "utf8" });
    await rm(scratch, { recursive: true });
    return stderr
        .split("\n")
        .filter(Boolean)
        .map((line) => {
            const [, where, severity, message] = line.slice(file.length).match(/^(:\d+:\d+)?: (error|warning): (.*)$/);
            const [l, c] = where ? where.slice(1).split(":").map(Number) : [0, 0];
            return { severity, line: l, column: c, text: message };
        });
}

test("the problems panel lists what velnari check prints, and a click goes there", async () => {
    const { page, errors } = await openPage(browser);
    const problems = () =>
        page.locator("#problem-list .problem").evaluateAll((items) =>
            items.map((b) => ({
                severity: b.querySelector(".severity").textContent,
                line: Number(b.dataset.line),
                column: Number(b.dataset.column),
                text: b.querySelector(".text").textContent,
            })),
        );
    // Three warnings, hidden behind a fault until it is mended.
    const warned = "1: t120 o4 l8 @2 c d e\n4: o4 l8 v12 c d }\n5: t150 o4 l4 v10 c\n";
    const faulty = warned.replace("v10 c", "v10 c ! d");
    await typeText(page, faulty);
    await page.locator(".cm-lintRange-error").waitFor();
    await page.click("#problems-toggle");
    const fault = await cliCheck(faulty);
    assert.equal(fault.length, 1);
    assert.deepEqual(await problems(), fault);
    await typeText(page, warned);
    await page.waitForFunction(() => document.querySelector("#problems-toggle").textContent === "Problems (3)");
    assert.deepEqual(await problems(), await cliCheck(warned));
    // A click puts the cursor on the undefined voice's "@2".
    await page.locator("#problem-list .problem").nth(1).click();
    await page.keyboard.insertText("X");
    assert.equal(await page.locator(".cm-line").first().textContent(), "1: t120 o4 l8 X@2 c d e");
    await page.emulateMedia({ colorScheme: "dark" });
    await screenshot(page, "problems.png");
    assert.deepEqual(errors, []);
});

// axe-core's serious and critical findings on the page as it is now, in the
// light and in the dark theme: [theme: rule (where)].
async function accessibilityFaults(page) {
    await page.addScriptTag({ path: path.join(repo, "web/node_modules/axe-core/axe.min.js") });
    const faults = [];
    for (const colorScheme of ["light", "dark"]) {
        await page.emulateMedia({ colorScheme });
        const result = await page.evaluate(() => window.axe.run(document, { resultTypes: ["violations"] }));
        for (const v of result.violations) {
            if (v.impact !== "serious" && v.impact !== "critical") continue;
            faults.push(`${colorScheme}: ${v.id} (${v.nodes.map((n) => n.target.join(" ")).join(", ")})`);
        }
    }
    return faults;
}

// The voice workshop's song: voice 1 on part 1, a scale.
const kVoiceSong = [
    "sound:@1",
    "lfo: 0,0,0, 4,5",
    "op1: 31,10,0,7, 3,40,1, 1,3,0",
    "op2: 19, 5,2,7, 3, 8,1, 1,3,0",
    "op3: 31,12,0,7, 4,52,1, 7,0,0",
    "op4: 31, 5,2,7, 3,12,1, 1,7,0",
    "ssgenv:@0, 2, 15,13,11,9",
    "1: @1 o4 l8 cdefgab>c<bagfedc",
    "",
].join("\n");

// What the page plays of the song from its start, about `seconds` of it, and
// whether that is the command line's render of `text` from its start.
async function playsAsRendered(page, text, seconds = 1) {
    await page.click("#stop");
    await page.click("#play");
    await page.waitForFunction(() => window.velnariAudio);
    const stop = await listen(page);
    // A second more than is compared: the recording starts a little late.
    // Counted in what was recorded: the seek bar may still show where the
    // last playback stopped when this begins.
    await page.waitForFunction((s) => window.recorded.length > (s + 1) * 44100, seconds);
    await page.click("#play");
    const heard = await stop();
    const scratch = await mkdtemp(path.join(os.tmpdir(), "velnari-web-"));
    await writeFile(path.join(scratch, "song.mml"), text);
    const cli = execFileSync(velnari, ["render", path.join(scratch, "song.mml"), "--seconds", "4", "-o", "-"]);
    await rm(scratch, { recursive: true });
    const rendered = Int16Array.from({ length: cli.length / 4 }, (_, k) => cli.readInt16LE(4 * k));
    const [h, r] = align(heard, rendered) ?? [0, -1];
    // Up to the pause, which fades out.
    const length = Math.min(heard.length - h, seconds * kRate);
    return r >= 0 && length > kRate / 2 && heard.subarray(h, h + length).every((v, k) => v === rendered[r + k]);
}

// The pitch of the sound recorded, in Hz: rising zero crossings per second
// over the part of it that sounds.
function pitchOf(samples) {
    const first = samples.findIndex((s) => s !== 0) + 2048;
    let last = samples.length - 1;
    while (last > first && samples[last] === 0) --last;
    last -= 2048;
    const crossings = [];
    for (let k = first; k < last; ++k) if (samples[k - 1] < 0 && samples[k] >= 0) crossings.push(k);
    return ((crossings.length - 1) * kRate) / (crossings.at(-1) - crossings[0]);
}

test("the voice workshop: a slider rewrites its value, and what plays follows; undo restores both", async () => {
    const { page, errors } = await openPage(browser);
    await typeText(page, kVoiceSong);
    await page.waitForFunction(() => document.querySelector("#status").textContent.startsWith("compiled"));
    await page.selectOption("#voice-list", "voice:0");
    // Drag op4's TL from 12 to somewhere on the right: one change of that value only.
    const slider = page.locator('[aria-label="op4 TL"]');
    await slider.scrollIntoViewIfNeeded();
    const box = await slider.boundingBox();
    await page.mouse.move(box.x + box.width * (12 / 127), box.y + box.height / 2);
    await page.mouse.down();
    for (const f of [0.3, 0.5, 0.7]) await page.mouse.move(box.x + box.width * f, box.y + box.height / 2, { steps: 4 });
    await page.evaluate(() => (document.querySelector("#status").textContent = ""));
    await page.mouse.up();
    const value = Number(await page.inputValue('[aria-label="op4 TL value"]'));
    assert.ok(value > 60 && value <= 127, String(value));
    const edited = kVoiceSong.replace("op4: 31, 5,2,7, 3,12,", `op4: 31, 5,2,7, 3,${value},`);
    assert.equal(await editorText(page), edited);
    await page.waitForFunction(() => document.querySelector("#status").textContent.startsWith("compiled"));
    assert.ok(await playsAsRendered(page, edited), "the edited voice plays as the command line renders it");
    await page.setViewportSize({ width: 1280, height: 1300 });
    await page.evaluate(() => document.querySelector("#voices").scrollIntoView());
    await screenshot(page, "voice-editor.png");
    // One undo takes the whole drag back, and the sound with it.
    await page.locator(".cm-content").click();
    await page.evaluate(() => (document.querySelector("#status").textContent = ""));
    await page.keyboard.press("Control+z");
    assert.equal(await editorText(page), kVoiceSong);
    assert.equal(await page.inputValue('[aria-label="op4 TL value"]'), "12");
    await page.waitForFunction(() => document.querySelector("#status").textContent.startsWith("compiled"));
    assert.ok(await playsAsRendered(page, kVoiceSong), "the voice as it was plays again");
    // The SSG envelope: its levels drawn over ticks.
    await page.selectOption("#voice-list", "envelope:0");
    await screenshot(page, "ssg-envelope.png", { clip: await page.locator("#voices").boundingBox() });
    // Its third level dragged to the top (of four bars and the held one).
    const bars = await page.locator("#ssg-levels").boundingBox();
    await page.mouse.move(bars.x + bars.width * (2.5 / 5), bars.y + bars.height / 2);
    await page.mouse.down();
    await page.mouse.move(bars.x + bars.width * (2.5 / 5), bars.y + 1, { steps: 5 });
    await page.mouse.up();
    assert.equal(await editorText(page), kVoiceSong.replace("15,13,11,9", "15,13,15,9"));
    // From the keys: the bars are one Tab stop (the step dragged last); Left
    // goes to the second step, whose level alone a run of Down presses lowers,
    // undone as one step.
    await page.focus("#ssg-step");
    await page.keyboard.press("Shift+Tab");
    for (const key of ["ArrowLeft", "ArrowDown", "ArrowDown"]) await page.keyboard.press(key);
    assert.equal(await editorText(page), kVoiceSong.replace("15,13,11,9", "15,11,15,9"));
    assert.deepEqual(await accessibilityFaults(page), [], "an SSG envelope shown");
    await page.locator(".cm-content").click();
    await page.keyboard.press("Control+z");
    assert.equal(await editorText(page), kVoiceSong.replace("15,13,11,9", "15,13,15,9"));
    assert.deepEqual(errors, []);
});

// Holds the mouse down on key `note` of the on-screen keyboard.
async function pressKey(page, note) {
    const key = page.locator(`#piano [data-note="${note}"]`);
    await key.scrollIntoViewIfNeeded();
    const box = await key.boundingBox();
    await page.mouse.move(box.x + box.width / 2, box.y + box.height * 0.85);
    await page.mouse.down();
}

test("the keyboard plays the voice at the key's pitch, on screen and from a MIDI input", async () => {
    const context = await browser.newContext();
    // The browser's MIDI access, replaced: one input the test plays.
    await context.addInitScript(() => {
        window.midiInput = { name: "test keyboard" };
        navigator.requestMIDIAccess = async () => ({ inputs: new Map([["1", window.midiInput]]) });
    });
    const { page, errors } = await openPage(browser, "", { context });
    // A sine: operator 4 alone.
    const sine = ["sound:@1", "lfo: 0,0,0, 7,0", "op1: 31,0,0,15,0,127,0,1,0,0", "op2: 31,0,0,15,0,127,0,1,0,0"];
    sine.push("op3: 31,0,0,15,0,127,0,1,0,0", "op4: 31,0,0,15,0,0,0,1,0,0", "1: @1 r1", "");
    await typeText(page, sine.join("\n"));
    await page.waitForFunction(() => document.querySelector("#status").textContent.startsWith("compiled"));
    const midi = (data) => page.evaluate((data) => window.midiInput.onmidimessage({ data }), data);
    const cases = [
        // note, how it is played
        [69, async (press) => (press ? pressKey(page, 69) : page.mouse.up())],
        [60, async (press) => midi(press ? [0x90, 60, 120] : [0x80, 60, 0])],
    ];
    await page.click("#play");
    await page.click("#play");
    await page.click("text=MIDI input");
    for (const [note, play] of cases) {
        const stop = await listen(page);
        await play(true);
        await page.waitForTimeout(400);
        await play(false);
        await page.waitForTimeout(150);
        const heard = await stop();
        const expected = 440 * 2 ** ((note - 69) / 12);
        const pitch = pitchOf(heard);
        assert.ok(Math.abs(pitch / expected - 1) < 0.005, `note ${note}: ${pitch} Hz, not ${expected}`);
    }
    assert.match(await page.textContent("#key-latency"), /^latency \d+ ms/);
    console.log(`keyboard: ${JSON.stringify(await page.evaluate(() => window.velnariKeys.latencies))}`);
    await context.close();
    assert.deepEqual(errors, []);
});

test("keyboard and axe: Tab reaches every control; nothing serious idle, playing, faulty, problems open", async () => {
    const { page, errors } = await openPage(browser);
    assert.deepEqual(await accessibilityFaults(page), [], "idle");
    // Tab reaches every control, each with a focus ring.
    const reached = new Map();
    for (let k = 0; k < 200 && !reached.has("problems-toggle"); ++k) {
        await page.keyboard.press("Tab");
        const [id, outline] = await page.evaluate(async () => {
            const e = document.activeElement;
            // The editor draws its ring around the whole editor, once it has
            // seen the focus.
            const ring = e.closest(".cm-editor") ?? e;
            if (ring !== e) await new Promise((resolve) => setTimeout(resolve, 100));
            return e === document.body ? [] : [e.id || e.classList[0], getComputedStyle(ring).outlineStyle];
        });
        if (id) reached.set(id, outline);
    }
    for (const id of ["songs", "song-name", "new", "open", "save", "export", "examples", "share", "cm-content"]) {
        assert.ok(reached.has(id), `${id} not reached by Tab: ${[...reached.keys()]}`);
    }
    const side = ["play", "seek", "goto-bar", "mute", "solo", "wav", "vgm", "voice-list", "piano", "problems-toggle"];
    for (const id of side) {
        assert.ok(reached.has(id), `${id} not reached by Tab: ${[...reached.keys()]}`);
    }
    assert.deepEqual([...reached].filter(([, outline]) => outline === "none"), []);
    await page.click("#play");
    await page.waitForFunction(() => /^0:0[1-9]/.test(document.querySelector("#time").textContent));
    assert.deepEqual(await accessibilityFaults(page), [], "playing");
    await page.click("#play");
    await page.locator(".cm-content").click();
    await page.keyboard.press("Control+End");
    await page.keyboard.press("Enter");
    await page.keyboard.insertText("2: c ! d");
    await page.locator(".cm-lintRange-error").hover();
    await page.locator(".cm-tooltip").waitFor();
    assert.deepEqual(await accessibilityFaults(page), [], "a fault shown");
    await screenshot(page, "fault.png");
    await page.click("#problems-toggle");
    assert.deepEqual(await accessibilityFaults(page), [], "problems panel open");
    assert.deepEqual(errors, []);
});

test("a second visit without the server opens the page and plays", async () => {
    const server = await serveFolder(webDir);
    const base = `http://127.0.0.1:${server.address().port}/`;
    const { page, errors, context } = await openPage(browser, "", { base, context: await browser.newContext() });
    await page.evaluate(async () => {
        await navigator.serviceWorker.ready;
        if (!navigator.serviceWorker.controller) {
            await new Promise((resolve) => navigator.serviceWorker.addEventListener("controllerchange", resolve));
        }
    });
    server.closeAllConnections();
    await new Promise((resolve) => server.close(resolve));
    await page.reload();
    await page.waitForSelector("body[data-ready=true]");
    await page.click("#play");
    await page.waitForFunction(() => /^0:0[1-9]/.test(document.querySelector("#time").textContent));
    await context.close();
    // What the page tried to fetch while the server was gone is no fault of its own.
    assert.deepEqual(errors.filter((e) => !/Failed to load resource|ERR_CONNECTION_REFUSED/.test(e)), []);
});
