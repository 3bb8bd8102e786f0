// Arbitrary bytes as the settings file. The reader must stay within its
// 255-character result, and the player's volume rule must hold: a value is
// taken only when its whole text is a decimal integer in 32 bits, and the
// first value that is not ends the reading (it and the rest stay 0).

#include <cstdint>
#include <optional>
#include <string>

#include "FuzzTargets.h"
#include "ScratchFile.h"
#include "engine/Settings.h"
#include "platform/Profile.h"

namespace fuzz {
namespace {

// An optional sign, then one or more decimal digits, the value within 32 bits.
std::optional<int32_t> StrictInteger(const std::string& text) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i == text.size()) return std::nullopt;
    int64_t value = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
        value = value * 10 + (text[i] - '0');
        if (value > int64_t{INT32_MAX} + 1) return std::nullopt;
    }
    if (negative) value = -value;
    if (value < INT32_MIN || value > INT32_MAX) return std::nullopt;
    return static_cast<int32_t>(value);
}

}  // namespace

int ReadSettings(const uint8_t* data, std::size_t size) {
    static ScratchFile file("settings.ini");
    file.Write(data, size);

    const std::string fm = platform::ReadProfileString(file.Path(), "velnari", "FMVolume", "0");
    const std::string ssg = platform::ReadProfileString(file.Path(), "velnari", "PSGVolume", "0");
    FUZZ_CHECK(fm.size() <= 255 && ssg.size() <= 255);

    // The default obeys the same length limit as a value.
    const std::string longDefault(400, 'x');
    FUZZ_CHECK(platform::ReadProfileString(file.Path(), "VELNARI", "fmvolume", longDefault.c_str())
                   .size() <= 255);

    const engine::Volumes volumes = engine::ReadVolumes(file.Path());
    const std::optional<int32_t> fmValue = StrictInteger(fm);
    const std::optional<int32_t> ssgValue = fmValue ? StrictInteger(ssg) : std::nullopt;
    FUZZ_CHECK(volumes.fm == fmValue.value_or(0));
    FUZZ_CHECK(volumes.ssg == ssgValue.value_or(0));
    return 0;
}

}  // namespace fuzz
