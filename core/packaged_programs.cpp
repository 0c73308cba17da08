#include "core/packaged_programs.h"

#include <cstring>

#include "platform/file.h"

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
