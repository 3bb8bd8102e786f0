// The render-speed page (bench.html): renders each example song for a
// minute of audio in this thread, a few times, and shows the median speed as
// a multiple of real time. web/measure.mjs calls window.renderSpeed(name)
// itself, taking turns with the native command line.

import examples from "velnari:examples";
import { loadVelnari } from "./velnari.js";

const kRate = 44100;
const kSeconds = 60;
const kRuns = 5;
const kBlock = 4096;

const velnari = await loadVelnari();

// × real time of one render of the song's first `seconds`, compile excluded.
function renderSpeed(name, seconds = kSeconds) {
    const song = velnari.compile(examples[name]);
    const engine = song.engine(kRate);
    const start = performance.now();
    for (let done = 0; done < seconds * kRate; done += kBlock) engine.render(kBlock);
    const elapsed = (performance.now() - start) / 1000;
    engine.free();
    song.free();
    return seconds / elapsed;
}
window.renderSpeed = renderSpeed;
window.exampleNames = Object.keys(examples);

const table = document.getElementById("results");
for (const name of Object.keys(examples)) {
    renderSpeed(name); // warm-up: the engine's tables and the JIT
    const speeds = Array.from({ length: kRuns }, () => renderSpeed(name)).sort((a, b) => a - b);
    table.insertRow().innerHTML = `<td>${name}</td><td>${speeds[kRuns >> 1].toFixed(0)}× real time</td>`;
    await new Promise((resolve) => setTimeout(resolve, 0));
}
document.body.dataset.done = "true";
