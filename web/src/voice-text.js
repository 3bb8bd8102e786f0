// The voice and SSG envelope definitions of a song's text, with where each
// written value stands, so that an editor can show them and rewrite one value
// in place. Read as the compiler reads them: a `sound:` line starts a voice,
// and every `lfo:` and `op` line after it, up to the next `sound:`, changes
// that voice; whatever a voice does not write it keeps from the one before.

// The lines of a definition, blanks allowed between items, any case.
const kSound = /^\s*sound\s*:\s*@?\s*([+-]?\d+)/i;
const kLfo = /^(\s*lfo\s*:)/i;
const kOp = /^(\s*op\s*([1-4])\s*:)/i;
const kSsgEnv = /^(\s*ssgenv\s*:)/i;
const kContinued = /^(\s*->)/;

export const OP_VALUES = 10;
export const LFO_VALUES = 5;

// The comma-separated values of `body` (the line after its keyword, comment
// cut off), each {value, from, to} in document offsets from `base`; a value
// that is not a plain number is null.
function valuesOf(body, base) {
    const values = [];
    let at = 0;
    for (const piece of body.split(",")) {
        const lead = piece.length - piece.trimStart().length;
        const text = piece.trim();
        const from = base + at + lead;
        values.push(/^[+-]?\d+$/.test(text) ? { value: Number(text), from, to: from + text.length } : null);
        at += piece.length + 1;
    }
    return values;
}

function bodyOf(text, keyword) {
    const rest = text.slice(keyword.length);
    const comment = rest.indexOf(";");
    return comment < 0 ? rest : rest.slice(0, comment);
}

// Every voice and envelope of `doc` (a CodeMirror text):
// voices: [{number, line (1-based, of `sound:`), from, to (offsets of the
//   definition), lfo: [5 values], ops: [4 × [10 values]]}], each value
//   {value, from, to} where the text writes it, or {value, carried: true}
//   where it is kept from the voice before;
// envelopes: [{number, line, from, to, step: {value, from, to}, levels: [...]}].
export function readDefinitions(doc) {
    const voices = [];
    const envelopes = [];
    // The compiler's voice being built: values carry over from one voice to the next.
    let lfo = new Array(LFO_VALUES).fill(0);
    let ops = Array.from({ length: 4 }, () => new Array(OP_VALUES).fill(0));
    let voice = null;
    let envelope = null;
    const carried = (value) => ({ value, carried: true });
    const written = (values, count) =>
        Array.from({ length: count }, (_, i) => values[i] ?? { value: 0, from: -1, to: -1, padded: true });
    for (let n = 1; n <= doc.lines; ++n) {
        const line = doc.line(n);
        const text = line.text;
        let m;
        if ((m = kSound.exec(text))) {
            voice = {
                number: Number(m[1]),
                line: n,
                from: line.from,
                to: line.to,
                lfo: lfo.map(carried),
                ops: ops.map((op) => op.map(carried)),
            };
            voices.push(voice);
            envelope = null;
        } else if ((m = kLfo.exec(text)) && voice) {
            voice.lfo = written(valuesOf(bodyOf(text, m[1]), line.from + m[1].length), LFO_VALUES);
            lfo = voice.lfo.map((v) => v?.value ?? 0);
            voice.to = line.to;
        } else if ((m = kOp.exec(text)) && voice) {
            const k = Number(m[2]) - 1;
            voice.ops[k] = written(valuesOf(bodyOf(text, m[1]), line.from + m[1].length), OP_VALUES);
            ops[k] = voice.ops[k].map((v) => v?.value ?? 0);
            voice.to = line.to;
        } else if ((m = kSsgEnv.exec(text))) {
            // The number may be written with an "@": a blank in its place
            // keeps the offsets.
            const values = valuesOf(bodyOf(text, m[1]).replace("@", " "), line.from + m[1].length);
            envelope = null;
            if (values.length >= 3 && values[0] !== null && values[1] !== null) {
                envelope = { number: values[0].value, line: n, from: line.from, to: line.to, step: values[1] };
                envelope.levels = values.slice(2);
                envelopes.push(envelope);
            }
        } else if ((m = kContinued.exec(text)) && envelope) {
            envelope.levels.push(...valuesOf(bodyOf(text, m[1]), line.from + m[1].length));
            envelope.to = line.to;
        } else if (text.trim() !== "" && !text.trimStart().startsWith(";")) {
            envelope = null;
        }
    }
    for (const e of envelopes) e.editable = e.levels.every((v) => v !== null);
    return { voices, envelopes };
}

// The definition (voice or envelope) that holds document offset `pos`.
export function definitionAt(definitions, pos) {
    for (const v of definitions.voices) if (pos >= v.from && pos <= v.to) return { kind: "voice", item: v };
    for (const e of definitions.envelopes) if (pos >= e.from && pos <= e.to) return { kind: "envelope", item: e };
    return null;
}

// The 42 numbers the module takes for a voice: algorithm, feedback, then op1
// to op4's ten values each.
export function voiceValues(voice) {
    const values = [voice.lfo[3]?.value ?? 0, voice.lfo[4]?.value ?? 0];
    for (const op of voice.ops) for (const v of op) values.push(v?.value ?? 0);
    return values;
}
