#include "plugin2/config_text.h"

#include <locale>
#include <sstream>

#include "encode/codec.h"
#include "ui/choice_tables.h"

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

std::string RateControlOf(int32_t value) {
    for (const ChoiceRow* row = kRateControlChoices; row->label != nullptr; ++row) {
        if (row->value == value) return row->label;
    }
    return "RC " + std::to_string(value);
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
         << kSeparator << RateControlOf(settings.rateControl) << " " << settings.targetKbps << "/"
         << settings.maxKbps << " kbps" << kSeparator << "TU" << settings.targetUsage << kSeparator << "AAC "
         << NameOf(kAacProfiles, settings.aacProfile, "profile") << " " << settings.aacKbps << " kbps";
    return std::move(text).str();
}
