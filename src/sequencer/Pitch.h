#pragma once
// Pitch tables of the driver and the safe conversions used with them.
//
// Deliberate choices:
//   - Table look-ups clamp their index into the table, so octave 0 with
//     semitone -1 on an SSG part plays the lowest period (3816) instead of
//     reading before the table.
//   - Every double that becomes a register value is limited to 0..INT32_MAX
//     first (NaN gives 0), so huge detunes or vibrato depths cannot reach an
//     undefined float-to-integer conversion.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>

namespace sequencer::pitch {

// A note as it sounds: its octave and its semitone above C.
struct Note {
    int32_t octave = 0;
    int32_t semitone = 0;
    bool clamped = false;  // moved into octaves 1-8 from beyond them
};

// The lowest and highest note a transposition reaches: octave 1's C, octave 8's B.
inline constexpr int64_t kLowestTransposed = 12;
inline constexpr int64_t kHighestTransposed = 8 * 12 + 11;

// The note `semitones` above the one written. Without a transposition, the
// note as written (its semitone -1 or 12 included); with one, a semitone
// 0-11 in octaves 1-8, a note beyond them clamped to the nearer end.
inline Note Transposed(int32_t octave, int32_t semitone, int32_t semitones) {
    if (semitones == 0) return {octave, semitone};
    const int64_t n = int64_t{octave} * 12 + semitone + semitones;
    const int64_t kept = std::clamp(n, kLowestTransposed, kHighestTransposed);
    return {static_cast<int32_t>(kept / 12), static_cast<int32_t>(kept % 12), kept != n};
}

// F-numbers of the semitones -1..12 of one octave (C = 0; -1 is the B below,
// 12 the C above), at block = octave, for the chip at song::kChipClock.
inline constexpr std::array<int32_t, 14> FNUM_TABLE = {584, 618, 655, 694,  735,  779,  825,
                                                       874, 926, 981, 1040, 1101, 1167, 1236};

// SSG tone periods (in SSG clock ticks / 16), ten octaves of twelve semitones,
// indexed by octave * 12 + semitone. Row 0 repeats row 1 except its B, the B
// just below octave 1's C; row 9 is reached only by semitone 12 of octave 8.
inline constexpr std::array<int32_t, 120> SSG_PERIOD_TABLE = {
    3816, 3602, 3400, 3209, 3029, 2859, 2698, 2547, 2404, 2269, 2142, 4043,  //
    3816, 3602, 3400, 3209, 3029, 2859, 2698, 2547, 2404, 2269, 2142, 2022,  //
    1908, 1801, 1700, 1604, 1514, 1429, 1349, 1273, 1202, 1135, 1071, 1011,  //
    954,  900,  850,  802,  757,  715,  675,  637,  601,  567,  535,  505,   //
    477,  450,  425,  401,  379,  357,  337,  318,  301,  284,  268,  253,   //
    239,  225,  212,  201,  189,  179,  169,  159,  150,  142,  134,  126,   //
    119,  113,  106,  100,  95,   89,   84,   80,   75,   71,   67,   63,    //
    60,   56,   53,   50,   47,   45,   42,   40,   38,   35,   33,   32,    //
    30,   28,   27,   25,   24,   22,   21,   20,   19,   18,   17,   16,    //
    15,   14,   13,   13,   12,   11,   11,   10,   9,    9,    8,    8};

// Detune, vibrato depth and portamento work in 1/3060 octave: 255 per semitone.
inline constexpr double kStepsPerOctave = 3060.0;

inline int32_t FnumFor(int32_t semitone) {
    const int64_t i = std::clamp<int64_t>(int64_t{semitone} + 1, 0, FNUM_TABLE.size() - 1);
    return FNUM_TABLE[static_cast<std::size_t>(i)];
}

inline int32_t SSGPeriodFor(int32_t octave, int32_t semitone) {
    const int64_t i =
        std::clamp<int64_t>(int64_t{octave} * 12 + semitone, 0, SSG_PERIOD_TABLE.size() - 1);
    return SSG_PERIOD_TABLE[static_cast<std::size_t>(i)];
}

// trunc(x + 0.5), limited to 0..INT32_MAX; NaN gives 0.
inline int32_t RoundToRegister(double x) {
    const double y = x + 0.5;
    if (!(y > 0.0)) return 0;
    if (y >= 2147483647.0) return std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(y);
}

// The factor that raises a frequency by `steps` 1/3060-octave steps
// (an F-number grows with pitch; an SSG period shrinks, so it takes base 0.5).
inline double FrequencyFactor(int64_t steps) {
    return std::pow(2.0, static_cast<double>(steps) / kStepsPerOctave);
}
inline double PeriodFactor(int64_t steps) {
    return std::pow(0.5, static_cast<double>(steps) / kStepsPerOctave);
}

// The F-number a note plays at, `detune` 1/3060-octave steps away.
inline int32_t DetunedFnum(int32_t semitone, int32_t detune) {
    const int32_t f = FnumFor(semitone);
    return detune == 0 ? f : RoundToRegister(FrequencyFactor(detune) * f);
}

// The SSG tone period a note plays at, `detune` 1/3060-octave steps away. A
// detune always moves the period by at least one.
inline int32_t DetunedSSGPeriod(int32_t octave, int32_t semitone, int32_t detune) {
    const int32_t t = SSGPeriodFor(octave, semitone);
    if (detune == 0) return t;
    const int32_t u = RoundToRegister(PeriodFactor(detune) * t);
    if (u != t) return u;
    return detune > 0 ? t - 1 : t + 1;
}

}  // namespace sequencer::pitch
