// A zip archive of small files, stored without compression (song files are a
// few kilobytes; every unzip tool reads stored entries). Names are UTF-8,
// flagged as such.

let crcTable = null;

function crc32(bytes) {
    if (!crcTable) {
        crcTable = new Uint32Array(256);
        for (let n = 0; n < 256; ++n) {
            let c = n;
            for (let k = 0; k < 8; ++k) c = c & 1 ? 0xedb88320 ^ (c >>> 1) : c >>> 1;
            crcTable[n] = c >>> 0;
        }
    }
    let crc = 0xffffffff;
    for (const b of bytes) crc = crcTable[(crc ^ b) & 0xff] ^ (crc >>> 8);
    return (crc ^ 0xffffffff) >>> 0;
}

// A Blob of the zip holding `files`, [{name, bytes: Uint8Array}], dated `date`.
export function zipBlob(files, date = new Date()) {
    const time = (date.getHours() << 11) | (date.getMinutes() << 5) | (date.getSeconds() >> 1);
    const day = ((date.getFullYear() - 1980) << 9) | ((date.getMonth() + 1) << 5) | date.getDate();
    const parts = [];
    const central = [];
    let offset = 0;
    for (const file of files) {
        const name = new TextEncoder().encode(file.name);
        const crc = crc32(file.bytes);
        // The fields shared by the local and the central header, from "version needed".
        const common = new DataView(new ArrayBuffer(26));
        common.setUint16(0, 20, true); // version needed: 2.0
        common.setUint16(2, 0x0800, true); // names in UTF-8
        common.setUint16(4, 0, true); // stored
        common.setUint16(6, time, true);
        common.setUint16(8, day, true);
        common.setUint32(10, crc, true);
        common.setUint32(14, file.bytes.length, true);
        common.setUint32(18, file.bytes.length, true);
        common.setUint16(22, name.length, true);
        common.setUint16(24, 0, true); // no extra field
        const local = new DataView(new ArrayBuffer(4));
        local.setUint32(0, 0x04034b50, true);
        parts.push(local, common, name, file.bytes);
        const head = new DataView(new ArrayBuffer(6));
        head.setUint32(0, 0x02014b50, true);
        head.setUint16(4, 20, true); // made by: 2.0
        const tail = new DataView(new ArrayBuffer(14));
        tail.setUint32(10, offset, true); // comment, disk, attributes: 0
        central.push(head, common, tail, name);
        offset += 30 + name.length + file.bytes.length;
    }
    const centralSize = central.reduce((n, p) => n + p.byteLength, 0);
    const end = new DataView(new ArrayBuffer(22));
    end.setUint32(0, 0x06054b50, true);
    end.setUint16(8, files.length, true);
    end.setUint16(10, files.length, true);
    end.setUint32(12, centralSize, true);
    end.setUint32(16, offset, true);
    return new Blob([...parts, ...central, end], { type: "application/zip" });
}
