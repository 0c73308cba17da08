#include "encode/rate_control.h"

#include "core/setting_data.h"

namespace {

// Which fields: target kbps, max kbps, QPs, quality, look-ahead, AVBR accuracy.
constexpr RateControlMode kModes[] = {
    {MFX_RATECONTROL_CBR, "CBR", true, false, false, false, false, false},
    {MFX_RATECONTROL_VBR, "VBR", true, true, false, false, false, false},
    {MFX_RATECONTROL_CQP, "CQP", false, false, true, false, false, false},
    {MFX_RATECONTROL_AVBR, "AVBR", true, false, false, false, false, true},
    {MFX_RATECONTROL_LA, "LA", true, true, false, false, true, false},
    {MFX_RATECONTROL_ICQ, "ICQ", false, false, false, true, false, false},
    {MFX_RATECONTROL_LA_ICQ, "LA_ICQ", false, false, false, true, true, false},
    {MFX_RATECONTROL_QVBR, "QVBR", true, true, false, true, false, false},
};

}  // namespace

std::span<const RateControlMode> RateControlModes() { return kModes; }

const RateControlMode* FindRateControl(int32_t value) {
    for (const RateControlMode& mode : kModes) {
        if (mode.value == value) return &mode;
    }
    return nullptr;
}

std::string RateControlName(int32_t value) {
    const RateControlMode* mode = FindRateControl(value);
    return mode != nullptr ? mode->name : "rate control " + std::to_string(value);
}

std::string RateControlValues(const SettingData& settings) {
    const RateControlMode* mode = FindRateControl(settings.rateControl);
    const std::string rates = std::to_string(settings.targetKbps) + "/" + std::to_string(settings.maxKbps) + " kbps";
    // CBR has always been shown with its maximum, which it sends as well.
    if (mode == nullptr || (mode->usesTargetKbps && !mode->usesQuality && !mode->usesAccuracy)) return rates;
    if (mode->usesQp) {
        return std::to_string(settings.qpI) + "/" + std::to_string(settings.qpP) + "/" + std::to_string(settings.qpB);
    }
    if (mode->usesAccuracy) return std::to_string(settings.targetKbps) + " kbps";
    const std::string quality = std::to_string(settings.quality);
    return mode->usesTargetKbps ? quality + " " + rates : quality;
}

FieldRange QpRange(mfxU32 codecId) { return {1, codecId == MFX_CODEC_AV1 ? 255 : 51, false}; }
