#include "RegisterStreams.h"

#include <cstddef>
#include <vector>

#include "fm/OPN.h"

namespace fmstreams {

uint32_t Random::Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return static_cast<uint32_t>((z ^ (z >> 31)) >> 32);
}

namespace {

constexpr uint32_t kRates[8] = {44100, 44100, 44100, 48000, 22050, 55466, 8000, 96000};
constexpr uint32_t kClocks[4] = {3993600, 3993600, 4000000, 3579545};

// A 5-bit rate field, mostly from the fast end, where envelopes step every
// few samples.
uint32_t Rate(Random& r) {
    return r.OneIn(4) ? r.Below(32) : 20 + r.Below(12);
}

// Every operator register of channel `ch` and its connection.
void WriteVoice(FM::OPN& opn, Random& r, uint32_t ch) {
    opn.SetReg(0xB0 + ch, r.Below(64));
    for (uint32_t slot = 0; slot < 16; slot += 4) {
        const uint32_t at = slot + ch;
        opn.SetReg(0x30 + at, r.Below(128));
        opn.SetReg(0x40 + at, r.OneIn(2) ? r.Below(32) : r.Below(128));
        opn.SetReg(0x50 + at, (r.Below(4) << 6) | Rate(r));
        opn.SetReg(0x60 + at, Rate(r) | (r.OneIn(4) ? 0x80 : 0));
        opn.SetReg(0x70 + at, r.OneIn(3) ? 0 : Rate(r));
        opn.SetReg(0x80 + at, r.Below(256));
        opn.SetReg(0x90 + at, r.OneIn(3) ? 8 + r.Below(8) : r.Below(8));
    }
}

void WriteFrequency(FM::OPN& opn, Random& r, uint32_t ch) {
    opn.SetReg(0xA4 + ch, r.Below(64));
    opn.SetReg(0xA0 + ch, r.Below(256));
}

void WriteSsg(FM::OPN& opn, Random& r) {
    const uint32_t c = r.Below(3);
    switch (r.Below(6)) {
        case 0:  // tone period, now and then too short for the output rate
            opn.SetReg(2 * c, r.Below(256));
            opn.SetReg(2 * c + 1, r.OneIn(4) ? 0 : r.Below(16));
            break;
        case 1:
            opn.SetReg(6, r.Below(32));
            break;
        case 2:
            opn.SetReg(7, r.Below(64));
            break;
        case 3:
            opn.SetReg(8 + c, r.Below(32));
            break;
        case 4:
            opn.SetReg(11, r.Below(256));
            opn.SetReg(12, r.OneIn(4) ? r.Below(256) : r.Below(2));
            break;
        default:
            opn.SetReg(13, r.Below(16));
            break;
    }
}

// One change between mixes.
void Change(FM::OPN& opn, Random& r, uint32_t& rate) {
    const uint32_t ch = r.Below(3);
    const uint32_t kind = r.Below(64);
    if (kind < 16) {
        // Key bits of one channel (3 addresses no channel).
        opn.SetReg(0x28, (r.Below(16) << 4) | r.Below(4));
    } else if (kind < 20) {
        WriteVoice(opn, r, ch);
    } else if (kind < 26) {
        opn.SetReg(0x30 + r.Below(0x70), r.Below(256));
    } else if (kind < 34) {
        WriteFrequency(opn, r, ch);
    } else if (kind < 37) {
        // Channel-3 mode and its per-operator frequencies.
        opn.SetReg(0x27, r.Below(4) << 6);
        opn.SetReg(0xAC + ch, r.Below(64));
        opn.SetReg(0xA8 + ch, r.Below(256));
    } else if (kind < 50) {
        WriteSsg(opn, r);
    } else if (kind < 56) {
        opn.SetReg(r.Below(0x110), r.Below(256));
    } else if (kind < 58) {
        opn.SetReg(0x2D + r.Below(3), 0);
    } else if (kind < 60) {
        opn.SetChannelMask(r.OneIn(2) ? 0 : r.Below(512));
    } else if (kind < 62) {
        opn.SetVolumeFM(static_cast<int32_t>(r.Below(48)) - 30);
        opn.SetVolumePSG(static_cast<int32_t>(r.Below(48)) - 30);
    } else if (kind < 63) {
        if (r.OneIn(8)) opn.Reset();
    } else if (r.OneIn(4)) {
        rate = kRates[r.Below(8)];
        opn.SetRate(kClocks[r.Below(4)], rate);
    }
}

// Frames of the next mix: mostly under 12 ms, now and then none, a few, or
// several thousand; rarely a negative count, which mixes nothing.
int32_t MixLength(Random& r) {
    if (r.OneIn(64)) return -static_cast<int32_t>(r.Below(100));
    if (r.OneIn(16)) return static_cast<int32_t>(r.Below(6000));
    if (r.OneIn(4)) return static_cast<int32_t>(r.Below(8));
    return static_cast<int32_t>(r.Below(600));
}

// What the buffer holds before a mix adds to it: silence, noise, or values
// near either end of the range, where the additions saturate.
int16_t Fill(Random& r, uint32_t mode) {
    switch (mode) {
        case 0:
            return 0;
        case 1:
            return static_cast<int16_t>(static_cast<int32_t>(r.Below(65536)) - 32768);
        case 2:
            return static_cast<int16_t>(32000 + r.Below(768));
        default:
            return static_cast<int16_t>(-32000 - static_cast<int32_t>(r.Below(769)));
    }
}

}  // namespace

uint64_t RenderStream(uint32_t seed) {
    Random r(seed);
    FM::OPN opn;
    uint32_t rate = kRates[r.Below(8)];
    opn.Init(kClocks[r.Below(4)], rate);
    if (r.OneIn(3)) opn.SetVolumeFM(static_cast<int32_t>(r.Below(40)) - 20);
    if (r.OneIn(3)) opn.SetVolumePSG(static_cast<int32_t>(r.Below(40)) - 20);
    for (uint32_t ch = 0; ch < 3; ++ch) {
        WriteVoice(opn, r, ch);
        WriteFrequency(opn, r, ch);
    }

    uint64_t hash = 0xCBF29CE484222325ull;
    std::vector<int16_t> buffer;
    // About one and a half seconds of output at the stream's first rate.
    for (int64_t frames = 0; frames < rate * 3 / 2;) {
        for (uint32_t n = r.Below(12); n > 0; --n) Change(opn, r, rate);
        const int32_t length = MixLength(r);
        const uint32_t mode = r.Below(4);
        buffer.assign(2 * static_cast<std::size_t>(length > 0 ? length : 1), 0);
        for (int16_t& s : buffer) s = Fill(r, mode);
        opn.Mix(buffer.data(), length);
        for (int16_t s : buffer) {
            hash = (hash ^ static_cast<uint16_t>(s)) * 0x100000001B3ull;
        }
        frames += length > 0 ? length : 1;
    }
    return hash;
}

// Recorded from the chip before its envelopes were reworked for speed.
const uint64_t kRecordedHashes[kStreamCount] = {
    0x81B703A21BC2A32Eull, 0xD27084869A9A1131ull, 0xBDD2F96251CD06DFull, 0xB29AAD3560152F44ull,
    0x8A9E6FC40EBB85F6ull, 0x33EEB964E254302Dull, 0xDAAEDE68A1250FFAull, 0xFBECF6B0BA57B106ull,
    0x61764C153FD6E33Dull, 0x3F45912441057448ull, 0xE1A797B699379FDAull, 0x49E838C94F4FF290ull,
    0xB168DBE1BCEF208Cull, 0xB890DD4EF8BDCB82ull, 0x8AE27CD27301CFD9ull, 0xD05BDA23233FE0EEull,
    0xFE04FC1EC907CDE3ull, 0xCE1BEE88E4C1AB03ull, 0x24F801D8C148714Dull, 0xA1EE8455C71FDBE8ull,
    0x7CDECA60437B5FA5ull, 0xC8EE1A8C5A0009DEull, 0xC0AD685C7FAF14F5ull, 0xB4EF51FA9424A33Aull,
    0x8C5BCF60CC80BA0Aull, 0xBC447CF4247DBF26ull, 0xAF2D613F995B5F6Bull, 0x7222323BEF5FC76Bull,
    0x60C02E3CD7D3D435ull, 0x085F98AD2A92AD21ull, 0x944A5CF276C015FCull, 0x55548C60F803001Bull,
    0x4DD5A5E5EADAC3AAull, 0xBD2B1A8E68E95628ull, 0x2893176640F3979Full, 0xA35DB118806D636Dull,
    0x8CD769CBF9D3CE10ull, 0xA6B673488B2C43ABull, 0x95CDEE54224F8CEAull, 0x610C5EAC6BDC9FA3ull,
    0xC8CB360CDA200F1Full, 0xBD95ABCB12095B81ull, 0xD7DEAA4B599F4CABull, 0xC99F2196FC90FF9Aull,
    0xC5B6AF27D8195B19ull, 0x393B4E9ECEEAD1CEull, 0x34302C665EDEC326ull, 0x248851BD66700EE2ull,
    0xF1DDC1975090EFDDull, 0x8DA52C4F824D067Full, 0x2919E6A1F4966986ull, 0xFBC968842A4F435Bull,
    0x4E3D330E8FA58D03ull, 0xA2105A1F3D443AEBull, 0xA654F4F349049074ull, 0x912DFAED823B7A0Cull,
    0x78AC30703763F998ull, 0x5D038A33E344BDD1ull, 0x0003DE695B56C4AAull, 0xECB3A546FC203305ull,
    0x4E86087797514945ull, 0xC89AE61A93ABFEF4ull, 0x381E08DD3A564299ull, 0xABB44764588BAD4Cull,
    0x6F9167C87069783Bull, 0xEF452CE219B043BDull, 0x1DB44331B721AAB5ull, 0x2191B6CE1FCC92CDull,
    0xF3DA027353AD0DDFull, 0xB82C2F382AFE69ECull, 0xC0A7E6D3E7D0D260ull, 0xDDD55DA68C72F2E6ull,
    0xFFBD064BD31AA944ull, 0x8517D6E188004471ull, 0xB34E61FE16379D1Bull, 0xFA0C9996646F0F0Dull,
    0x6E8A9B0BBEB6A3A6ull, 0x0B9A84D7DBEA92B8ull, 0x2429BBF3E8924CE8ull, 0x86A0B498EF0981EDull,
    0x004195624F8C3002ull, 0xEA24650AFE9FE9E3ull, 0x49C1592D30F94DE4ull, 0xBF6B1A9662B8C24Cull,
    0x0E1E458C40DE81FCull, 0x9FE58BB99F124C2Eull, 0x98032270D5A46C80ull, 0x33F67D2C3D310F0Aull,
    0x91E8583482F5CFC0ull, 0x6DA52C4F8484C705ull, 0x9BF1F85DA45CFE88ull, 0x2E45500016D94168ull,
    0x13A93C6BABEA7734ull, 0x60CC0E164DCCA943ull, 0x51AB151AC4A19C7Eull, 0x905B0D1D4BF45E64ull,
    0x9C16D91FB8FA8345ull, 0x0E42EB8A95D27EE4ull, 0x1FB130B4E18B0BB9ull, 0xD1EA83F569023BBAull,
    0xA2B0BA65D4824DF1ull, 0x71362AFC33D35674ull, 0x37009D2163924293ull, 0x02FCBF27348E2E18ull,
    0x14C80E604F2D5202ull, 0x388BDDC888BD04D5ull, 0xFF3D288E94E662F1ull, 0xEA727D4BE8358F8Full,
    0xC1686C664036E234ull, 0xCC8DBEAF7E94F26Cull, 0x65194129488EC89Aull, 0xC2403523EB6A3E3Cull,
    0xF13267579C723D41ull, 0x85C7F506C58E5CC5ull, 0x7E9777D9BBE1F7CBull, 0xA80C2BFC2EBEDC40ull,
    0xF1ABE774C3E0611Aull, 0x0DD07C56FE858A85ull, 0xBF1B4E89899F5D03ull, 0xFE66085B4AD5FC21ull,
    0x8AAB378A876DA1CEull, 0x7902B971A9979C47ull, 0x59DD88442F83D7E9ull, 0x91EAC0AD7719AC3Bull,
    0x1FA82FC69669A1ACull, 0x346C7B3B80605ED3ull, 0xCE291EBFC7E5BA64ull, 0x86B0B235E2FC3946ull,
};

}  // namespace fmstreams
