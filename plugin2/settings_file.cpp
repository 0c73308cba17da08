#include "plugin2/settings_file.h"

#include <cstring>

#include "platform/file.h"

namespace {

const char kFolderName[] = "Tarvo";
const char kPluginFolderName[] = "Plugin";
const char kFileName[] = "Tarvo_output.auo2.settings";

std::string Child(std::string folder, const char* name) {
    if (folder.back() != '\\' && folder.back() != '/') folder += platform::PathSeparator();
    return folder + name;
}

// The record the file at `path` holds, if it holds one.
bool ReadRecord(const std::string& path, SettingData* settings) {
    std::string bytes;
    // One byte more than the largest record tells a long file from a whole one.
    if (path.empty() || !platform::ReadFileStart(path.c_str(), kSettingSize + 1, &bytes)) return false;
    switch (ReadSettingBlock(bytes.data(), bytes.size(), settings)) {
        case SettingBlock::kTaken:
        case SettingBlock::kUpgraded: return true;
        default: return false;
    }
}

}  // namespace

std::string SettingsFolderPath(const std::string& appData) {
    return appData.empty() ? std::string() : Child(appData, kFolderName);
}

std::string SettingsFilePath(const std::string& appData) {
    const std::string folder = SettingsFolderPath(appData);
    return folder.empty() ? folder : folder + platform::PathSeparator() + kFileName;
}

std::string EditorSettingsFolderPath(const std::string& editorData) {
    return editorData.empty() ? std::string() : Child(Child(editorData, kPluginFolderName), kFolderName);
}

std::string EditorSettingsFilePath(const std::string& editorData) {
    const std::string folder = EditorSettingsFolderPath(editorData);
    return folder.empty() ? folder : folder + platform::PathSeparator() + kFileName;
}

SettingsPlace ChooseSettingsPlace(const std::string& editorData, const std::string& userAppData) {
    if (editorData.empty()) return {SettingsFolderPath(userAppData), SettingsFilePath(userAppData), {}};
    return {EditorSettingsFolderPath(editorData), EditorSettingsFilePath(editorData), SettingsFilePath(userAppData)};
}

SettingData LoadSettingsFile(const std::string& path) {
    SettingData settings;
    return ReadRecord(path, &settings) ? settings : DefaultSettingData();
}

SettingData LoadSettingsPlace(const SettingsPlace& place, SettingsSource* source) {
    SettingData settings;
    if (ReadRecord(place.file, &settings)) {
        *source = SettingsSource::kFile;
        return settings;
    }
    // A file that is there but holds no record is this place's own: it is
    // not replaced by an old one behind the user's back.
    if (place.file.empty() || platform::PathExists(place.file.c_str()) || !ReadRecord(place.oldFile, &settings)) {
        *source = SettingsSource::kDefaults;
        return DefaultSettingData();
    }
    *source = SaveSettingsFile(place.folder, place.file, settings) ? SettingsSource::kTakenOver
                                                                   : SettingsSource::kTakenOverUnsaved;
    return settings;
}

bool SaveSettingsFile(const std::string& folder, const std::string& path, const SettingData& settings) {
    if (folder.empty() || path.empty()) return false;
    // The parent first: the editor's Plugin folder may not exist yet. A
    // parent that cannot be made shows in the folder that cannot.
    const size_t cut = folder.find_last_of("\\/", folder.size() - 2);
    if (cut != std::string::npos && cut > 0) platform::MakeFolder(folder.substr(0, cut).c_str());
    if (!platform::MakeFolder(folder.c_str())) return false;
    return platform::ReplaceFileContents(path.c_str(), &settings, sizeof settings);
}
