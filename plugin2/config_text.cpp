#include "plugin2/config_text.h"

#include <locale>
#include <sstream>

#include "encode/codec.h"
#include "encode/rate_control.h"

namespace {

const char kSeparator[] = " \xC2\xB7 ";  // " · "

struct Name {
    int32_t value;
    const char* text;
};
const Name kAacProfiles[] = {{1, "LC"}, {2, "HE"}, {3, "HEv2"}};

template <size_t N>
std::string NameOf(const Name (&names)[N], int32_t value, const char* unknown) {
    for (const Name& name : names) {
        if (name.value == value) return name.text;
    }
    return std::string(unknown) + " " + std::to_string(value);
}

// "VBR 1400/1400 kbps", "CQP 22/24/26", "ICQ 23", "QVBR 23 4000/6000 kbps".
std::string RateControlOf(const SettingData& settings) {
    const RateControlMode* mode = FindRateControl(settings.rateControl);
    const std::string name = mode != nullptr ? mode->name : "RC " + std::to_string(settings.rateControl);
    return name + " " + RateControlValues(settings);
}

// The depth is said where the profile leaves it open and it is not 8 bits,
// the depth every record had before 10 bits came (HEVC's Main10 says it).
std::string DepthOf(const CodecInfo& codec, const SettingData& settings) {
    const CodecProfile* profile = FindProfile(codec, settings.codecProfile);
    if (settings.bitDepth == 8 || (profile != nullptr && profile->bitDepth == settings.bitDepth)) return {};
    return std::to_string(settings.bitDepth) + "-bit ";
}

}  // namespace

std::string ConfigText(const SettingData& settings) {
    std::ostringstream text;
    text.imbue(std::locale::classic());
    const CodecInfo& codec = SettingsCodec(settings);
    text << codec.name << " " << ProfileName(codec, settings.codecProfile) << " " << DepthOf(codec, settings)
         << LevelName(codec, settings.codecLevel)
         << kSeparator << RateControlOf(settings) << kSeparator << "TU" << settings.targetUsage << kSeparator << "AAC "
         << NameOf(kAacProfiles, settings.aacProfile, "profile") << " " << settings.aacKbps << " kbps";
    return std::move(text).str();
}
