#include <cstring>

#include "core/setting_data.h"

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
