#include "plugin2/project_settings.h"

#include <cstring>

namespace {

// "version 3, 1024 bytes": what the binary value holds.
std::string RecordText(int32_t version, size_t size) {
    return "version " + std::to_string(version) + ", " + std::to_string(size) + " bytes";
}

}  // namespace

ProjectSettings LoadProjectSettings(const ProjectFile2& project, SettingData* current, std::string* note) {
    const char* record = project.getParamString != nullptr ? project.getParamString(kProjectRecordKey) : nullptr;
    // Read into a buffer of its own: nothing of a refused value reaches `current`.
    SettingData stored;
    if (project.getParamBinary == nullptr ||
        !project.getParamBinary(kProjectSettingsKey, &stored, static_cast<int32_t>(sizeof stored))) {
        if (record == nullptr) return ProjectSettings::kNone;
        *note = "the project's Tarvo settings (" + std::string(record) + ") are not a record this build reads (" +
                RecordText(kSettingVersion, kSettingSize) + "); the current settings stay";
        return ProjectSettings::kIgnored;
    }
    SettingData taken;
    const SettingBlock block = ReadSettingBlock(&stored, sizeof stored, &taken);
    if (block != SettingBlock::kTaken) {
        *note = "the project's Tarvo settings are of version " + std::to_string(stored.version) +
                ", not a record this build reads (" + RecordText(kSettingVersion, kSettingSize) +
                "); the current settings stay";
        return ProjectSettings::kIgnored;
    }
    std::memcpy(current, &taken, sizeof taken);
    return ProjectSettings::kTaken;
}

void SaveProjectSettings(const ProjectFile2& project, const SettingData& settings) {
    SettingData copy;
    std::memcpy(&copy, &settings, sizeof copy);
    if (project.clearParams != nullptr) project.clearParams();
    if (project.setParamBinary != nullptr) {
        project.setParamBinary(kProjectSettingsKey, &copy, static_cast<int32_t>(sizeof copy));
    }
    if (project.setParamString != nullptr) {
        project.setParamString(kProjectRecordKey, RecordText(copy.version, sizeof copy).c_str());
    }
}
