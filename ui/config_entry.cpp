#include <cstring>

#include "platform/message.h"
#include "plugin/plugin_entries.h"
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

int32_t TARVO_CDECL ConfigEntry(void*, void*) {
    // The host knows nothing of C++ exceptions: none may leave this entry.
    // The current settings change only after a dialog that ran to its end.
    try {
        RunConfiguration(RunSettingDialog);
    } catch (...) {
        platform::ShowWarning("The settings dialog failed.");
    }
    return 1;
}
