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

}  // namespace

std::string ConfigText(const SettingData& settings) {
    std::ostringstream text;
    text.imbue(std::locale::classic());
    const CodecInfo& codec = SettingsCodec(settings);
    text << codec.name << " " << ProfileName(codec, settings.codecProfile) << " "
         << LevelName(codec, settings.codecLevel)
         << kSeparator << RateControlOf(settings.rateControl) << " " << settings.targetKbps << "/"
         << settings.maxKbps << " kbps" << kSeparator << "TU" << settings.targetUsage << kSeparator << "AAC "
         << NameOf(kAacProfiles, settings.aacProfile, "profile") << " " << settings.aacKbps << " kbps";
    return std::move(text).str();
}
