#include "plugin2/config_text.h"

#include "encode/codec.h"
#include "encode/rate_control.h"
#include "ui/texts.h"

namespace {

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
std::string DepthOf(const CodecInfo& codec, const SettingData& settings, const TextTranslation& texts) {
    const CodecProfile* profile = FindProfile(codec, settings.codecProfile);
    if (settings.bitDepth == 8 || (profile != nullptr && profile->bitDepth == settings.bitDepth)) return {};
    return texts.Text((std::to_string(settings.bitDepth) + "-bit").c_str()) + std::string(" ");
}

}  // namespace

std::string ConfigText(const SettingData& settings) { return ConfigText(settings, TextTranslation()); }

std::string ConfigText(const SettingData& settings, const TextTranslation& texts) {
    const CodecInfo& codec = SettingsCodec(settings);
    // The numbers as the classic locale writes them: no digit grouping.
    auto number = [](int32_t value) { return std::to_string(value); };
    return texts.Fill(kConfigTextPattern, {
                                              {"codec", codec.name},
                                              {"profile", ProfileName(codec, settings.codecProfile)},
                                              {"depth", DepthOf(codec, settings, texts)},
                                              {"level", texts.Text(LevelName(codec, settings.codecLevel).c_str())},
                                              {"ratecontrol", RateControlOf(settings)},
                                              {"usage", number(settings.targetUsage)},
                                              {"aacprofile", NameOf(kAacProfiles, settings.aacProfile, "profile")},
                                              {"aackbps", number(settings.aacKbps)},
                                          });
}
