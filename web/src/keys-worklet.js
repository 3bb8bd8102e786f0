// The keyboard's notes in the audio thread: the library's audition of one
// voice, mixed into each quantum after the song's frames. Messages (port):
// {type: "keys:voice", values}, {type: "keys:on", note, volume, id},
// {type: "keys:off", note}; out: {type: "keys:sounded", id, time} once the
// quantum holding a note's first sample has been handed on, `time` being the
// context's time of that sample.

import { Audition } from "./voice-module.js";

export class KeysInWorklet {
    constructor(velnari, rate, port) {
        this.audition = new Audition(velnari, rate);
        this.port = port;
        this.sounding = []; // ids of notes started since the last quantum
        this.voiced = false;
    }

    onMessage(msg) {
        if (msg.type === "keys:voice") {
            this.audition.setVoice(msg.values);
            this.voiced = true;
        } else if (msg.type === "keys:on" && this.voiced) {
            if (this.audition.noteOn(msg.note, msg.volume)) this.sounding.push(msg.id);
        } else if (msg.type === "keys:off") {
            this.audition.noteOff(msg.note);
        }
    }

    // Adds the keyboard's frames to the module's buffer at `ptr`.
    mix(ptr, frames) {
        if (!this.voiced) return;
        this.audition.mixInto(ptr, frames);
    }

    // Called once the quantum has been written to the output.
    sent() {
        // currentTime: the audio thread's global, the time of the quantum's first sample.
        for (const id of this.sounding) this.port.postMessage({ type: "keys:sounded", id, time: currentTime });
        this.sounding.length = 0;
    }
}
