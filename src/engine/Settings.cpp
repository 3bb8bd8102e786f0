#include "engine/Settings.h"

#include <boost/lexical_cast.hpp>

#include "platform/Profile.h"

namespace engine {

namespace {

constexpr char kSection[] = "velnari";

}  // namespace

Volumes ReadVolumes(const std::string& settingsFile, std::optional<UnreadableSetting>* unreadable) {
    Volumes volumes;
    for (const auto& [key, volume] :
         {std::pair{"FMVolume", &volumes.fm}, std::pair{"PSGVolume", &volumes.ssg}}) {
        const std::string value = platform::ReadProfileString(settingsFile, kSection, key, "0");
        try {
            *volume = boost::lexical_cast<int32_t>(value);
        } catch (const boost::bad_lexical_cast&) {
            // The value that failed, and those not yet read, keep their 0.
            if (unreadable) *unreadable = UnreadableSetting{key, value};
            break;
        }
    }
    return volumes;
}

bool ReadExactSeek(const std::string& settingsFile) {
    try {
        return boost::lexical_cast<int32_t>(
                   platform::ReadProfileString(settingsFile, kSection, "ExactSeek", "0")) != 0;
    } catch (const boost::bad_lexical_cast&) {
        return false;
    }
}

}  // namespace engine
