// Per-tick effects: key-off after the sounding time, tremolo, the SSG software
// envelope, portamento and vibrato. All timing counts from the note's start,
// so tied notes share one timeline. PartState is only read here.

#include <algorithm>

#include "sequencer/Pitch.h"
#include "sequencer/Sequencer.h"
#include "song/CommandTable.h"
#include "song/Song.h"

namespace sequencer {

void Sequencer::UpdateEffects(int part) {
    const PartState& ps = parts_[part];
    const bool isFM = part < song::kFMPartCount;
    const int ch = isFM ? part : part - song::kFMPartCount;
    const int64_t e = tick_ - ps.noteStart;

    if (tick_ >= ps.keyOffTick) KeyOnOff(part, false);

    // Volume, rewritten every tick.
    int64_t v = ps.volume;
    if (ps.tremDepth != 0 && ps.tremPeriod != 0 && e >= ps.tremDelay &&
        ((e - ps.tremDelay) / ps.tremPeriod) % 2 == 1) {
        v -= ps.tremDepth;
    }
    if (ps.softEnvelope) {
        const song::SSGEnvelope& env = song_->GetSSGEnvelope(ps.voiceNumber);
        if (!env.levels.empty()) {
            const std::size_t last = env.levels.size() - 1;
            // A negative step length gives a negative step from its magnitude
            // on, which counts as past the end: the last level. A step length
            // of 0 cannot be divided by and plays the first level.
            std::size_t i = 0;
            if (env.stepLength != 0) {
                const int64_t step = e / env.stepLength;
                i = step < 0 ? last : static_cast<std::size_t>(std::min<int64_t>(step, last));
            }
            v += int64_t{env.levels[i]} - 15;
        }
    }
    const auto level =
        static_cast<int32_t>(std::clamp<int64_t>(v, song::kVolumes.lowest, song::kVolumes.highest));
    if (isFM) {
        fm_.SetVolume(ch, level);
    } else {
        ssg_.SetVolume(ch, level);
    }

    // Pitch.
    if (ps.portaLength != 0) {
        if (e > ps.portaLength) return;  // the glide is over: the note's own pitch stays
        if (isFM) {
            // Linear in frequency across octaves: compare F-numbers at block 0.
            const int64_t s =
                int64_t{ps.prevFreq} * (int64_t{1} << song::kOctaves.Fit(ps.prevOctave));
            const int64_t t =
                int64_t{ps.freq} * (int64_t{1} << song::kOctaves.Fit(ps.NoteOctave()));
            double x = static_cast<double>(s) + static_cast<double>(t - s) * e / ps.portaLength;
            int32_t block = 0;
            while (x >= 2048.0) {
                ++block;
                x /= 2;
            }
            fm_.SetFrequency(ch, block, pitch::RoundToRegister(x));
        } else {
            const double x = ps.prevFreq + static_cast<double>(ps.freq - int64_t{ps.prevFreq}) * e /
                                               ps.portaLength;
            ssg_.SetTone(ch, pitch::RoundToRegister(x));
        }
        return;
    }
    if (ps.vibPeriod != 0 && e >= ps.vibDelay) {
        const int64_t d = ((e - ps.vibDelay) / ps.vibPeriod) % 2 == 1 ? -int64_t{ps.vibDepth}
                                                                      : int64_t{ps.vibDepth};
        if (isFM) {
            fm_.SetFrequency(ch, ps.NoteOctave(),
                             pitch::RoundToRegister(pitch::FrequencyFactor(d) * ps.freq));
        } else {
            ssg_.SetTone(ch, pitch::RoundToRegister(pitch::PeriodFactor(d) * ps.freq));
        }
    }
}

}  // namespace sequencer
