#include "engine/Settings.h"

#include <boost/lexical_cast.hpp>

#include "platform/Profile.h"

namespace engine {

namespace {

constexpr char kSection[] = "velnari";

}  // namespace

Volumes ReadVolumes(const std::string& settingsFile) {
    Volumes volumes;
    try {
        volumes.fm = boost::lexical_cast<int32_t>(
            platform::ReadProfileString(settingsFile, kSection, "FMVolume", "0"));
        volumes.ssg = boost::lexical_cast<int32_t>(
            platform::ReadProfileString(settingsFile, kSection, "PSGVolume", "0"));
    } catch (const boost::bad_lexical_cast&) {
        // The value that failed, and those not yet read, keep their 0.
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
