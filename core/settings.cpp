#include <cstring>

#include <mfxstructures.h>

#include "core/setting_data.h"

SettingData DefaultSettingData() {
    SettingData data;
    std::memset(&data, 0, sizeof data);
    data.version = kSettingVersion;
    data.hardwareImpl = 2;   // MFX_IMPL_HARDWARE
    data.codecProfile = MFX_PROFILE_AVC_MAIN;
    data.codecLevel = MFX_LEVEL_AVC_4;
    data.targetUsage = MFX_TARGETUSAGE_BALANCED;
    data.rateControl = MFX_RATECONTROL_VBR;
    data.targetKbps = 1400;
    data.maxKbps = 1400;
    data.aacProfile = 2;  // HE
    data.aacKbps = 96;
    data.codec = static_cast<int32_t>(MFX_CODEC_AVC);
    data.bitDepth = 8;
    // Constant QP is not chosen by default, so these only matter once the
    // user picks it: I a step better than P and P than B, since the later
    // frames are predicted from the earlier and their errors carry over;
    // around the default quality, 23, which looks clean at 8 bits.
    data.qpI = 22;
    data.qpP = 24;
    data.qpB = 26;
    data.quality = 23;
    // lookAheadDepth, avbrAccuracy, avbrConvergence, gopLength, gopRefDist,
    // idrInterval: 0, the runtime's choice, as version 2 left them.
    return data;
}

SettingBlock ReadSettingBlock(const void* data, size_t size, SettingData* out) {
    if (data == nullptr) return SettingBlock::kNoBlock;
    if (size != kSettingSize && size != kSettingSize2) return SettingBlock::kWrongSize;
    int32_t version;
    std::memcpy(&version, data, sizeof version);
    if (size == kSettingSize) {
        if (version != kSettingVersion) return SettingBlock::kWrongVersion;
        std::memcpy(out, data, kSettingSize);
        return SettingBlock::kTaken;
    }
    if (version != kSettingVersion2) return SettingBlock::kWrongVersion;
    // Version 2's bytes kept as they were, the rest as a fresh record has it.
    *out = DefaultSettingData();
    std::memcpy(out, data, kSettingSize2);
    out->version = kSettingVersion;
    return SettingBlock::kUpgraded;
}

void ReadSettingText(const char (&field)[kSettingPathSize], char (&out)[kSettingPathSize]) {
    size_t length = strnlen(field, kSettingPathSize - 1);
    std::memcpy(out, field, length);
    out[length] = '\0';
}
