#include <cstring>

#include "platform/message.h"
#include "plugin/setting_data.h"
#include "plugin/plugin_entries.h"

namespace {

constexpr int32_t kSettingSize = static_cast<int32_t>(sizeof(SettingData));

SettingData currentSettings;  // zero-filled at load: version 0, not valid

}  // namespace

SettingData& CurrentSettings() { return currentSettings; }

SettingData DefaultSettingData() {
    SettingData data;
    std::memset(&data, 0, sizeof data);
    data.version = kSettingVersion;
    data.hardwareImpl = 2;   // MFX_IMPL_HARDWARE
    data.codecProfile = 77;  // MFX_PROFILE_AVC_MAIN
    data.codecLevel = 40;    // MFX_LEVEL_AVC_4
    data.targetUsage = 4;    // MFX_TARGETUSAGE_BALANCED
    data.rateControl = 2;    // MFX_RATECONTROL_VBR
    data.targetKbps = 1400;
    data.maxKbps = 1400;
    data.aacProfile = 2;  // HE
    data.aacKbps = 96;
    return data;
}

void ReadSettingText(const char (&field)[kSettingPathSize], char (&out)[kSettingPathSize]) {
    size_t length = strnlen(field, kSettingPathSize - 1);
    std::memcpy(out, field, length);
    out[length] = '\0';
}

int32_t TARVO_CDECL SettingsGetEntry(void* data, int32_t size) {
    if (data != nullptr && static_cast<uint32_t>(size) >= sizeof(SettingData)) {
        std::memcpy(data, &currentSettings, sizeof(SettingData));
    }
    return kSettingSize;
}

int32_t TARVO_CDECL SettingsSetEntry(void* data, int32_t size) {
    if (data == nullptr) return 0;
    if (size != kSettingSize) {
        platform::ShowWarning("Configure data size failure.");
        return 0;
    }
    int32_t version;
    std::memcpy(&version, data, sizeof version);
    if (version != kSettingVersion) {
        platform::ShowWarning("Configure data is incompatible.");
        return 0;
    }
    std::memcpy(&currentSettings, data, sizeof(SettingData));
    return kSettingSize;
}
