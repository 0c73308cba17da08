#include "encode/rate_control.h"

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
