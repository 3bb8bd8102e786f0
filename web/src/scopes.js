// Per-channel oscilloscopes and level meters, drawn from the samples each
// channel played (from the channels' worker).

const kWindow = 512; // samples shown, from a rising zero crossing when there is one

// The theme's colours (the style sheet's --accent and --dim), read again when
// the system switches between light and dark.
let colours = null;
matchMedia("(prefers-color-scheme: dark)").addEventListener("change", () => (colours = null));
function themeColour(name) {
    if (!colours) {
        const style = getComputedStyle(document.documentElement);
        colours = {};
        for (const name of ["--accent", "--dim"]) colours[name] = style.getPropertyValue(name).trim();
    }
    return colours[name];
}

export class ChannelView {
    constructor(canvas, meter) {
        this.canvas = canvas;
        this.meter = meter;
        this.level = 0;
    }

    draw(samples, peak, muted) {
        const c = this.canvas;
        const width = (c.width = c.clientWidth * devicePixelRatio);
        const height = (c.height = c.clientHeight * devicePixelRatio);
        const g = c.getContext("2d");
        g.clearRect(0, 0, width, height);
        g.strokeStyle = themeColour(muted ? "--dim" : "--accent");
        g.lineWidth = devicePixelRatio;
        g.beginPath();
        let start = 0;
        if (samples) {
            // Trigger on a rising edge, so a steady tone stands still.
            for (let i = 1; i < samples.length - kWindow; ++i) {
                if (samples[i - 1] <= 0 && samples[i] > 0) {
                    start = i;
                    break;
                }
            }
        }
        for (let x = 0; x < kWindow; ++x) {
            const s = samples ? samples[start + x] || 0 : 0;
            const px = (x / (kWindow - 1)) * width;
            const py = height / 2 - s * (height / 2) * 0.95;
            if (x === 0) g.moveTo(px, py);
            else g.lineTo(px, py);
        }
        g.stroke();
        // The meter falls back slowly, as a peak meter does.
        this.level = Math.max(peak || 0, this.level * 0.85);
        const db = this.level > 0 ? 20 * Math.log10(this.level) : -96;
        this.meter.value = Math.max(0, 60 + db);
        this.meter.title = `${db.toFixed(1)} dBFS`;
    }
}
