#include <cstring>

#include "core/setting_data.h"
#include "ui/dialog_setting.h"

int RunConfiguration(SettingData& current, int (*runModal)(CDialogSetting&)) {
    CDialogSetting dialog;
    if (current.version == kSettingVersion) {
        std::memcpy(&dialog.setting, &current, sizeof(SettingData));
        dialog.settingLoaded = true;
    }
    // OK and Cancel both store: Cancel stores the record as it came in.
    const int endCode = runModal(dialog);
    // A dialog that never opened leaves the current settings alone.
    if (dialog.dialogInitialized) std::memcpy(&current, &dialog.setting, sizeof(SettingData));
    return endCode;
}
