#include <cstring>

#include "core/setting_data.h"
#include "ui/dialog_setting.h"

void RunConfiguration(int (*runModal)(CDialogSetting&)) {
    CDialogSetting dialog;
    SettingData& current = CurrentSettings();
    if (current.version == kSettingVersion) {
        std::memcpy(&dialog.setting, &current, sizeof(SettingData));
        dialog.settingLoaded = true;
    }
    runModal(dialog);  // the end code does not matter: OK and Cancel both store
    // A dialog that never opened leaves the current settings alone.
    if (dialog.dialogInitialized) std::memcpy(&current, &dialog.setting, sizeof(SettingData));
}
