#include "platform/message.h"
#include "plugin/plugin_entries.h"
#include "ui/dialog_setting.h"

int32_t TARVO_CDECL ConfigEntry(void*, void*) {
    // The host knows nothing of C++ exceptions: none may leave this entry.
    // The current settings change only after a dialog that ran to its end.
    try {
        RunConfiguration(PluginSettings(), RunSettingDialog);
    } catch (...) {
        platform::ShowWarning("The settings dialog failed.");
    }
    return 1;
}
