// Bundles the page into one folder that a static server can serve as it is:
//   node web/build.mjs WASM_DIR OUT_DIR
// WASM_DIR holds velnari.mjs and velnari.wasm (the CMake preset "wasm");
// OUT_DIR receives index.html, app.js, app.css, worklet.js, channels-worker.js
// and velnari.wasm,
// and the render-speed page bench.html with bench.js.
// The example songs are bundled into app.js.

import * as esbuild from "esbuild";
import { copyFile, mkdir, readdir, readFile } from "node:fs/promises";
import path from "node:path";
import { fileURLToPath } from "node:url";

const here = path.dirname(fileURLToPath(import.meta.url));
const root = path.resolve(here, "..");
const [wasmDir, outDir] = process.argv.slice(2).map((p) => path.resolve(p));
if (!wasmDir || !outDir) {
    console.error("usage: node web/build.mjs WASM_DIR OUT_DIR");
    process.exit(2);
}

// "velnari:examples": {file name: text} of every song in examples/.
const examplesPlugin = {
    name: "examples",
    setup(build) {
        build.onResolve({ filter: /^velnari:examples$/ }, () => ({ path: "examples", namespace: "velnari" }));
        build.onLoad({ filter: /.*/, namespace: "velnari" }, async () => {
            const folder = path.join(root, "examples");
            const names = (await readdir(folder)).filter((n) => n.endsWith(".mml")).sort();
            const songs = {};
            for (const n of names) songs[n] = await readFile(path.join(folder, n), "latin1");
            return { contents: JSON.stringify(songs), loader: "json", watchFiles: names.map((n) => path.join(folder, n)) };
        });
    },
};

await mkdir(outDir, { recursive: true });
const common = {
    bundle: true,
    format: "esm",
    minify: true,
    target: "es2022",
    logLevel: "warning",
    alias: { "velnari-wasm": path.join(wasmDir, "velnari.mjs") },
    plugins: [examplesPlugin],
    // The module factory finds its .wasm beside the script; the page and the
    // audio thread pass the compiled module in instead.
    external: ["velnari.wasm"],
};
await esbuild.build({ ...common, entryPoints: { app: path.join(here, "src/main.js") }, outdir: outDir });
await esbuild.build({ ...common, entryPoints: { worklet: path.join(here, "src/worklet.js") }, outdir: outDir });
await esbuild.build({
    ...common,
    entryPoints: { "channels-worker": path.join(here, "src/channels-worker.js") },
    outdir: outDir,
});
await esbuild.build({ ...common, entryPoints: { bench: path.join(here, "src/bench.js") }, outdir: outDir });
await esbuild.build({
    entryPoints: { app: path.join(here, "page/style.css") },
    bundle: true,
    minify: true,
    outdir: outDir,
    logLevel: "warning",
});
for (const page of ["index.html", "bench.html"]) await copyFile(path.join(here, "page", page), path.join(outDir, page));
await copyFile(path.join(wasmDir, "velnari.wasm"), path.join(outDir, "velnari.wasm"));
console.log(`web: built ${outDir}`);
