#include "plugin/plugin_entries.h"
#include "ui/dialog_setting.h"

int32_t TARVO_CDECL ConfigEntry(void*, void*) {
    RunConfiguration(RunSettingDialog);
    return 1;
}
