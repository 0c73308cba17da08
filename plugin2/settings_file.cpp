#include "plugin2/settings_file.h"

#include <cstring>

#include "platform/file.h"

namespace {

const char kFolderName[] = "Tarvo";
const char kFileName[] = "Tarvo_output.auo2.settings";

}  // namespace

std::string SettingsFolderPath(const std::string& appData) {
    if (appData.empty()) return {};
    std::string folder = appData;
    if (folder.back() != '\\' && folder.back() != '/') folder += platform::PathSeparator();
    return folder + kFolderName;
}

std::string SettingsFilePath(const std::string& appData) {
    const std::string folder = SettingsFolderPath(appData);
    return folder.empty() ? folder : folder + platform::PathSeparator() + kFileName;
}

SettingData LoadSettingsFile(const std::string& path) {
    std::string bytes;
    // One byte more than the largest record tells a long file from a whole one.
    SettingData settings;
    if (path.empty() || !platform::ReadFileStart(path.c_str(), kSettingSize + 1, &bytes)) return DefaultSettingData();
    switch (ReadSettingBlock(bytes.data(), bytes.size(), &settings)) {
        case SettingBlock::kTaken:
        case SettingBlock::kUpgraded: return settings;
        default: return DefaultSettingData();
    }
}

void TakeProgramsBeside(const std::string& pluginFolder, SettingData& settings) {
    if (pluginFolder.empty()) return;
    const struct {
        char (*field)[kSettingPathSize];
        const char* name;
    } programs[] = {
        {&settings.aacEncoderPath, kPackagedAacEncoder},
        {&settings.muxerPath, kPackagedMuxer},
    };
    for (const auto& program : programs) {
        char(&field)[kSettingPathSize] = *program.field;
        if (field[0] != '\0') continue;
        const std::string path = pluginFolder + program.name;
        // A cut path would name another file; the field keeps its bytes
        // after the terminator, as the dialog's edits leave them.
        if (path.size() >= kSettingPathSize || !platform::IsProgramFile(path.c_str())) continue;
        std::memcpy(field, path.c_str(), path.size() + 1);
    }
}

bool SaveSettingsFile(const std::string& folder, const std::string& path, const SettingData& settings) {
    if (folder.empty() || path.empty() || !platform::MakeFolder(folder.c_str())) return false;
    return platform::ReplaceFileContents(path.c_str(), &settings, sizeof settings);
}
