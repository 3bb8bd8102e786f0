// The voice workshop's part of the module's C interface: the language's
// voice fields, a voice's envelopes as the chip model runs them, a keyboard
// playing a voice (in the audio thread) and the voices of a register log.
// A voice travels as 42 numbers: algorithm, feedback, op1 to op4's ten values.

export class VoiceTools {
    constructor(velnari) {
        this.m = velnari.m;
        this.count = this.m._vn_voice_values();
    }

    // {name, largest} of field `i` of an op line (`line` "op") or an lfo line.
    field(line, i) {
        const l = line === "op" ? 0 : 1;
        return {
            name: this.m.UTF8ToString(this.m._vn_voice_field_name(l, i)),
            largest: this.m._vn_voice_field_largest(l, i),
        };
    }

    // Operator `op` (0-3)'s envelope output for MIDI note `note` held `hold`
    // frames at `rate`: `points` values `step` frames apart, in 1/256 octave
    // of attenuation (0 loudest, 8184 silent).
    envelope(values, op, note, rate, hold, step, points) {
        const m = this.m;
        const input = m._malloc(this.count * 4);
        const out = m._malloc(points * 4);
        m.HEAP32.set(values, input >> 2);
        const n = m._vn_voice_envelope(input, op, note, rate, hold, step, points, out);
        const levels = m.HEAP32.slice(out >> 2, (out >> 2) + n);
        m._free(input);
        m._free(out);
        return levels;
    }

    // The definitions `velnari voices` prints for a log file named `name`
    // (its bytes, not compressed): {ok, text}, text the fault when not ok.
    logVoices(bytes, name) {
        const m = this.m;
        const data = m._malloc(Math.max(bytes.length, 1));
        m.HEAPU8.set(bytes, data);
        const nameBytes = new TextEncoder().encode(name + "\0");
        const namePtr = m._malloc(nameBytes.length);
        m.HEAPU8.set(nameBytes, namePtr);
        const result = m._vn_log_voices(data, bytes.length, namePtr);
        m._free(data);
        m._free(namePtr);
        const answer = { ok: m._vn_text_ok(result) !== 0, text: m.UTF8ToString(m._vn_text(result)) };
        m._vn_text_free(result);
        return answer;
    }
}

// A keyboard playing one voice on a chip of its own (the library's audition),
// mixed into the audio thread's frames.
export class Audition {
    constructor(velnari, rate) {
        this.m = velnari.m;
        this.handle = this.m._vn_audition_new(rate);
        this.values = this.m._malloc(this.m._vn_voice_values() * 4);
    }
    setVoice(values) {
        this.m.HEAP32.set(values, this.values >> 2);
        this.m._vn_audition_voice(this.handle, this.values);
    }
    noteOn(note, volume) {
        return this.m._vn_audition_note_on(this.handle, note, volume) !== 0;
    }
    noteOff(note) {
        this.m._vn_audition_note_off(this.handle, note);
    }
    allOff() {
        this.m._vn_audition_all_off(this.handle);
    }
    // Adds the next `frames` frames into the module's buffer at `ptr`.
    mixInto(ptr, frames) {
        this.m._vn_audition_mix(this.handle, ptr, frames);
    }
}
