// The project's settings through a project file made of plain functions, as
// the editor hands it over.
#include "plugin2/project_settings.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>

namespace {

// The project file's values of this plug-in; the functions have no handle.
std::map<std::string, std::string> strings;
std::map<std::string, std::string> binaries;

const char* GetString(const char* key) {
    const auto found = strings.find(key);
    return found != strings.end() ? found->second.c_str() : nullptr;
}
void SetString(const char* key, const char* value) { strings[key] = value; }
bool GetBinary(const char* key, void* data, int32_t size) {
    const auto found = binaries.find(key);
    if (found == binaries.end() || found->second.size() != static_cast<size_t>(size)) return false;
    std::memcpy(data, found->second.data(), found->second.size());
    return true;
}
void SetBinary(const char* key, void* data, int32_t size) {
    binaries[key].assign(static_cast<const char*>(data), static_cast<size_t>(size));
}
void Clear() {
    strings.clear();
    binaries.clear();
}
const wchar_t* Path() { return L"project.aup2"; }

const ProjectFile2 kProject{GetString, SetString, GetBinary, SetBinary, Clear, Path};

bool Same(const SettingData& a, const SettingData& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

SettingData Custom() {
    SettingData settings = DefaultSettingData();
    settings.targetKbps = 3333;
    settings.reserved[7] = 9;  // a later build's field, kept
    return settings;
}

TEST(ProjectSettings, SavedRecordComesBackWhole) {
    Clear();
    strings["stale"] = "from an older build";
    SaveProjectSettings(kProject, Custom());
    EXPECT_EQ(strings.count("stale"), 0u);  // Tarvo's values are replaced, not added to
    EXPECT_EQ(binaries.at(kProjectSettingsKey).size(), kSettingSize);
    EXPECT_EQ(strings.at(kProjectRecordKey), "version 3, 1024 bytes");
    SettingData current = DefaultSettingData();
    std::string note;
    EXPECT_EQ(LoadProjectSettings(kProject, &current, &note), ProjectSettings::kTaken);
    EXPECT_TRUE(Same(current, Custom()));
    EXPECT_EQ(note, "");
}

TEST(ProjectSettings, AnythingButAVersion3RecordLeavesTheCurrentSettings) {
    const SettingData custom = Custom();
    const std::string whole(reinterpret_cast<const char*>(&custom), sizeof custom);
    std::string version2 = whole;
    version2[0] = 2;
    struct Case {
        const char* name;
        const char* record;  // the string beside the value; null: none
        const char* binary;  // null: no value
        std::string bytes;
        ProjectSettings expected;
        const char* noteHas;
    } cases[] = {
        {"nothing of Tarvo's", nullptr, nullptr, "", ProjectSettings::kNone, ""},
        {"a later build's longer record", "version 4, 2048 bytes", "settings", std::string(2048, '\4'),
         ProjectSettings::kIgnored,
         "(version 4, 2048 bytes) are not a record this build reads (version 3, 1024 bytes)"},
        {"a short value without its string", nullptr, "settings", whole.substr(0, 512), ProjectSettings::kNone, ""},
        {"1024 bytes of version 2", "version 2, 1024 bytes", "settings", version2, ProjectSettings::kIgnored,
         "are of version 2"},
        {"the string alone", "version 3, 1024 bytes", nullptr, "", ProjectSettings::kIgnored, "not a record"},
        {"a value under another key", nullptr, "other", whole, ProjectSettings::kNone, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Clear();
        if (c.record != nullptr) strings[kProjectRecordKey] = c.record;
        if (c.binary != nullptr) binaries[c.binary] = c.bytes;
        SettingData current = DefaultSettingData();
        current.maxKbps = 777;
        const SettingData before = current;
        std::string note;
        EXPECT_EQ(LoadProjectSettings(kProject, &current, &note), c.expected);
        EXPECT_TRUE(Same(current, before));
        EXPECT_NE(note.find(c.noteHas), std::string::npos) << note;
    }
}

}  // namespace
