// A WAV file (RIFF, 16-bit PCM, stereo) around interleaved frames.

export function wavBlob(pcm, rate) {
    const header = new DataView(new ArrayBuffer(44));
    const text = (at, s) => [...s].forEach((c, i) => header.setUint8(at + i, c.charCodeAt(0)));
    const bytes = pcm.length * 2;
    text(0, "RIFF");
    header.setUint32(4, 36 + bytes, true);
    text(8, "WAVE");
    text(12, "fmt ");
    header.setUint32(16, 16, true);
    header.setUint16(20, 1, true); // PCM
    header.setUint16(22, 2, true); // channels
    header.setUint32(24, rate, true);
    header.setUint32(28, rate * 4, true);
    header.setUint16(32, 4, true); // bytes per frame
    header.setUint16(34, 16, true);
    text(36, "data");
    header.setUint32(40, bytes, true);
    // The samples are little-endian, as the platforms that run browsers are.
    return new Blob([header, new Uint8Array(pcm.buffer, pcm.byteOffset, bytes)], { type: "audio/wav" });
}
