#include "host/host_settings.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>
#include <strings.h>
#include <sys/stat.h>

#include <mfxstructures.h>

#include "encode/codec.h"
#include "encode/rate_control.h"
#include "platform/file.h"
#include "ui/choice_tables.h"

#ifndef TARVO_AAC_ENCODER_PATH
#define TARVO_AAC_ENCODER_PATH "neroaacenc-compat"
#endif
#ifndef TARVO_MUXER_PATH
#define TARVO_MUXER_PATH "mp4box-compat"
#endif

namespace host {
namespace {

struct Named {
    int value;
    const char* name;
};

// What the numbers of the record mean (the Media SDK's values); the codec's
// from its table, by key and by level name.
const Named kImpl[] = {{2, "HARDWARE"}, {5, "HARDWARE2"}, {6, "HARDWARE3"}, {7, "HARDWARE4"}};
// The profiles and levels of the record's codec: its names follow the codec
// chosen before them.
std::vector<Named> ProfileNames(const SettingData& data) {
    std::vector<Named> names;
    for (const CodecProfile& profile : SettingsCodec(data).profiles) names.push_back({profile.value, profile.key});
    return names;
}
std::vector<Named> LevelNames(const SettingData& data) {
    // MFX_LEVEL_UNKNOWN: the runtime picks the level the stream needs.
    std::vector<Named> names{{MFX_LEVEL_UNKNOWN, "auto"}};
    for (const CodecLevel& level : SettingsCodec(data).levels) names.push_back({level.value, level.name});
    return names;
}
const Named kUsage[] = {{1, "quality"}, {4, "balanced"}, {7, "speed"}};
std::vector<Named> RateControlNames(const SettingData&) {
    std::vector<Named> names;
    for (const RateControlMode& mode : RateControlModes()) names.push_back({mode.value, mode.name});
    return names;
}
const Named kAacProfile[] = {{1, "LC"}, {2, "HE"}, {3, "HEv2"}};
const Named kCodec[] = {{static_cast<int>(MFX_CODEC_AVC), "h264"},
                        {static_cast<int>(MFX_CODEC_HEVC), "hevc"},
                        {static_cast<int>(MFX_CODEC_AV1), "av1"}};
const Named kBitDepth[] = {{8, "8"}, {10, "10"}};
const Named kAuto[] = {{0, "auto"}};

// A field and what the dialog lets it hold: one of `names`, or a number from
// `min` to `max` (a list of names alone when min > max). A field with a
// `bias` is typed and shown as stored - bias, except a stored 0, which is
// one of its names (bFrames is GopRefDist - 1, and GopRefDist 0 is "auto").
struct Field {
    const char* key;
    int32_t SettingData::* number;
    char (SettingData::* text)[kSettingPathSize];
    const Named* names;
    size_t nameCount;
    int32_t min;
    int32_t max;
    int32_t bias = 0;
    // Names that depend on the record (the codec's profiles and levels),
    // instead of `names`.
    std::vector<Named> (*namesOf)(const SettingData&) = nullptr;
    // Called after the field changed: keeps the rest of the record fitting.
    void (*after)(SettingData&, int32_t) = nullptr;
};

template <size_t N>
Field Number(const char* key, int32_t SettingData::* member, const Named (&names)[N]) {
    return Field{key, member, nullptr, names, N, 0, -1};
}
Field Number(const char* key, int32_t SettingData::* member, std::vector<Named> (*namesOf)(const SettingData&),
             void (*after)(SettingData&, int32_t) = nullptr) {
    return Field{key, member, nullptr, nullptr, 0, 0, -1, 0, namesOf, after};
}
template <size_t N>
Field Number(const char* key, int32_t SettingData::* member, const Named (&names)[N],
             void (*after)(SettingData&, int32_t)) {
    return Field{key, member, nullptr, names, N, 0, -1, 0, nullptr, after};
}

// A new codec or bit depth takes the profile and level along; a profile of
// one bit depth takes the depth along.
void FitCodec(SettingData& data, int32_t) { FitSettingsToCodec(data); }
void FitProfile(SettingData& data, int32_t value) {
    const CodecProfile* profile = FindProfile(SettingsCodec(data), value);
    if (profile != nullptr) ChooseProfile(data, *profile);
}
Field Number(const char* key, int32_t SettingData::* member, int32_t min, int32_t max) {
    return Field{key, member, nullptr, nullptr, 0, min, max};
}
Field Number(const char* key, int32_t SettingData::* member, FieldRange range) {
    return Number(key, member, range.low, range.high);
}
// A number of `range` (rate_control.h), or 0 typed and shown as "auto".
Field AutoNumber(const char* key, int32_t SettingData::* member, FieldRange range, int32_t bias = 0) {
    return Field{key, member, nullptr, kAuto, 1, range.low, range.high, bias};
}
Field Text(const char* key, char (SettingData::* member)[kSettingPathSize]) {
    return Field{key, nullptr, member, nullptr, 0, 0, -1};
}

const Field kFields[] = {
    Number("version", &SettingData::version, kSettingVersion, kSettingVersion),
    Number("hardwareImpl", &SettingData::hardwareImpl, kImpl),
    Number("codecProfile", &SettingData::codecProfile, ProfileNames, FitProfile),
    Number("codecLevel", &SettingData::codecLevel, LevelNames),
    Number("targetUsage", &SettingData::targetUsage, kUsage),
    Number("rateControl", &SettingData::rateControl, RateControlNames),
    // Five digits, as the dialog's edit boxes take them.
    Number("targetKbps", &SettingData::targetKbps, 0, 99999),
    Number("maxKbps", &SettingData::maxKbps, 0, 99999),
    Number("aacProfile", &SettingData::aacProfile, kAacProfile),
    Number("aacKbps", &SettingData::aacKbps, 0, INT32_MAX),  // checked with aacProfile
    Text("aacEncoderPath", &SettingData::aacEncoderPath),
    Text("muxerPath", &SettingData::muxerPath),
    Text("tempFolder", &SettingData::tempFolder),
    // Version 3's fields, in the ranges the SDK's 16-bit fields take.
    Number("codec", &SettingData::codec, kCodec, FitCodec),
    Number("bitDepth", &SettingData::bitDepth, kBitDepth, FitCodec),
    AutoNumber("gopLength", &SettingData::gopLength, kGopLengthRange),
    AutoNumber("bFrames", &SettingData::gopRefDist, kBFramesRange, 1),
    AutoNumber("idrInterval", &SettingData::idrInterval, kIdrIntervalRange),
    // AV1's quantizer indices; the export holds the others to 1 to 51.
    Number("qpI", &SettingData::qpI, QpRange(MFX_CODEC_AV1)),
    Number("qpP", &SettingData::qpP, QpRange(MFX_CODEC_AV1)),
    Number("qpB", &SettingData::qpB, QpRange(MFX_CODEC_AV1)),
    Number("quality", &SettingData::quality, kQualityRange),
    AutoNumber("lookAhead", &SettingData::lookAheadDepth, kLookAheadRange),
    AutoNumber("avbrAccuracy", &SettingData::avbrAccuracy, kAvbrAccuracyRange),
    AutoNumber("avbrConvergence", &SettingData::avbrConvergence, kAvbrConvergenceRange),
};

// The names a field takes in this record; `storage` keeps record-made ones.
std::span<const Named> NamesOf(const Field& field, const SettingData& data, std::vector<Named>& storage) {
    if (field.namesOf == nullptr) return {field.names, field.nameCount};
    storage = field.namesOf(data);
    return storage;
}

void CopyText(char (&field)[kSettingPathSize], const std::string& value) {
    std::memset(field, 0, kSettingPathSize);
    std::memcpy(field, value.data(), value.size());
}

}  // namespace

SettingData HostDefaultSettings() {
    SettingData data = DefaultSettingData();
    CopyText(data.aacEncoderPath, TARVO_AAC_ENCODER_PATH);
    CopyText(data.muxerPath, TARVO_MUXER_PATH);
    char temp[kSettingPathSize];
    if (platform::GetTempFolder(temp) != 0) CopyText(data.tempFolder, temp);
    return data;
}

bool ReadSettingsBytes(const std::string& path, std::string* bytes, std::string* error) {
    // Only a regular file of a block's size: a directory, a device or a
    // pipe would be read until something breaks.
    struct stat info;
    if (stat(path.c_str(), &info) != 0) {
        *error = path + ": " + std::strerror(errno);
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        *error = path + ": not a regular file, so not a settings block";
        return false;
    }
    auto wrongSize = [&](uintmax_t size) {
        *error = path + ": holds " + std::to_string(size) + " bytes, not a settings block of " +
                 std::to_string(kSettingSize) + " (or " + std::to_string(kSettingSize2) + ", version 2)";
        return false;
    };
    const auto size = static_cast<uintmax_t>(info.st_size);
    if (size != kSettingSize && size != kSettingSize2) return wrongSize(size);
    // A file that grew since the stat is still read no further than a block
    // and one byte.
    if (!platform::ReadFileStart(path.c_str(), kSettingSize + 1, bytes)) {
        *error = path + ": " + std::strerror(errno);
        return false;
    }
    if (bytes->size() != kSettingSize && bytes->size() != kSettingSize2) return wrongSize(bytes->size());
    return true;
}

bool LoadSettingsFile(const std::string& path, SettingData* data, std::string* error) {
    std::string bytes;
    if (!ReadSettingsBytes(path, &bytes, error)) return false;
    if (ReadSettingBlock(bytes.data(), bytes.size(), data) == SettingBlock::kWrongVersion) {
        int32_t version;
        std::memcpy(&version, bytes.data(), sizeof version);
        *error = path + ": version " + std::to_string(version) + " in " + std::to_string(bytes.size()) +
                 " bytes, not a settings block this build reads (version " + std::to_string(kSettingVersion) +
                 " in " + std::to_string(kSettingSize) + ", or " + std::to_string(kSettingVersion2) + " in " +
                 std::to_string(kSettingSize2) + ")";
        return false;
    }
    return true;
}

bool SaveSettingsFile(const std::string& path, const SettingData& data, std::string* error) {
    // Replaced in one step through a new file of its own, so a failed write
    // never leaves half a block and a link planted nearby is never followed.
    if (!platform::ReplaceFileContents(path.c_str(), &data, sizeof data)) {
        *error = path + ": cannot write: " + std::strerror(static_cast<int>(platform::LastError()));
        return false;
    }
    return true;
}

// A text field as it may go to a terminal: control bytes (a random block
// holds them) are shown as \xNN, everything else as it is.
static std::string Printable(const char* text) {
    std::string out;
    for (const char* p = text; *p != '\0'; ++p) {
        const auto byte = static_cast<unsigned char>(*p);
        if (byte < 0x20 || byte == 0x7f) {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
            out += escaped;
        } else {
            out += *p;
        }
    }
    return out;
}

std::string FormatSettings(const SettingData& data) {
    std::string out;
    char line[1200];  // a field of 259 control bytes, escaped
    for (const Field& field : kFields) {
        if (field.number != nullptr && field.bias != 0 && data.*field.number == 0) {
            std::snprintf(line, sizeof line, "%-15s= %s\n", field.key, field.names[0].name);
        } else if (field.number != nullptr) {
            int32_t value = data.*field.number - field.bias;
            const char* name = nullptr;
            std::vector<Named> storage;
            for (const Named& named : NamesOf(field, data, storage)) {
                if (named.value == value) name = named.name;
            }
            // bitDepth's names are its numbers: "8 (8)" would say nothing more.
            if (name != nullptr && std::to_string(value) == name) name = nullptr;
            std::snprintf(line, sizeof line, "%-15s= %d%s%s%s\n", field.key, value, name ? " (" : "", name ? name : "",
                          name ? ")" : "");
        } else {
            const char (&text)[kSettingPathSize] = data.*field.text;
            char value[kSettingPathSize];
            ReadSettingText(text, value);
            bool unterminated = std::memchr(text, '\0', kSettingPathSize) == nullptr;
            std::snprintf(line, sizeof line, "%-15s= %s%s\n", field.key, Printable(value).c_str(),
                          unterminated ? "  (no terminator: read as 259 characters)" : "");
        }
        out += line;
    }
    return out;
}

bool ApplySetting(SettingData* data, const std::string& assignment, std::string* error) {
    size_t equals = assignment.find('=');
    if (equals == std::string::npos) {
        *error = "'" + assignment + "': expected key=value";
        return false;
    }
    std::string key = assignment.substr(0, equals), value = assignment.substr(equals + 1);
    for (const Field& field : kFields) {
        if (strcasecmp(field.key, key.c_str()) != 0) continue;
        if (field.text != nullptr) {
            if (value.size() >= kSettingPathSize) {
                *error = key + ": at most 259 characters";
                return false;
            }
            CopyText(data->*field.text, value);
            return true;
        }
        std::vector<Named> storage;
        const std::span<const Named> names = NamesOf(field, *data, storage);
        auto set = [&](int32_t number) {
            data->*field.number = number;
            if (field.after != nullptr) field.after(*data, number);
            return true;
        };
        for (const Named& named : names) {
            if (strcasecmp(named.name, value.c_str()) == 0) return set(named.value);
        }

        errno = 0;
        char* end = nullptr;
        long number = std::strtol(value.c_str(), &end, 10);
        // strtol skips leading blanks; the dialog takes digits only.
        const bool plain = !value.empty() && (value[0] == '-' || (value[0] >= '0' && value[0] <= '9'));
        if (!plain || *end != '\0' || errno != 0 || number < INT32_MIN || number > INT32_MAX) {
            *error = key + ": '" + value + "' is not a 32-bit number" +
                     (!names.empty() ? " or one of the names 'settings show' prints" : "");
            return false;
        }
        bool allowed = number >= field.min && number <= field.max;
        for (size_t i = 0; i < names.size() && field.bias == 0; ++i) {
            allowed = allowed || names[i].value == number;
        }
        if (!allowed) {
            *error = !names.empty() && field.min > field.max
                         ? key + ": " + value + " is not one of the values 'settings show' names"
                         : key + ": " + value + " is outside " + std::to_string(field.min) + " to " +
                               std::to_string(field.max);
            return false;
        }
        return set(static_cast<int32_t>(number) + field.bias);
    }
    *error = "unknown key '" + key + "'";
    return false;
}

bool CheckSettings(const SettingData& data, std::string* error) {
    // The dialog offers the AAC profile and bit rate as one list.
    for (const AudioChoiceRow* row = kAudioBitRateChoices; row->label != nullptr; ++row) {
        if (row->profile == data.aacProfile && row->kbps == data.aacKbps) return true;
    }
    std::string offered;
    for (const AudioChoiceRow* row = kAudioBitRateChoices; row->label != nullptr; ++row) {
        if (row->profile == data.aacProfile) offered += (offered.empty() ? "" : " ") + std::to_string(row->kbps);
    }
    *error = "aacKbps: " + std::to_string(data.aacKbps) + " is not offered for aacProfile " +
             std::to_string(data.aacProfile) + (offered.empty() ? "" : " (offered: " + offered + ")");
    return false;
}

}  // namespace host
