// Bit rates into the SDK's 16-bit fields.
#pragma once
#include <algorithm>
#include <cstdint>

#include <mfxvideo.h>

// Stores the target and maximum rates (kbps) so that the encoder gets what
// the user typed: above 65535 kbps the rates go in units of
// BRCParamMultiplier kbps, the smallest multiplier that makes both fit. A
// negative rate is stored as 0 (the caller refuses it before it comes here).
inline void SetBitRates(mfxInfoMFX& mfx, int32_t targetKbps, int32_t maxKbps) {
    const uint32_t target = static_cast<uint32_t>(std::max(targetKbps, 0));
    const uint32_t maximum = static_cast<uint32_t>(std::max(maxKbps, 0));
    const uint32_t largest = std::max(target, maximum);
    const uint32_t multiplier = largest <= 0xFFFF ? 1 : (largest + 0xFFFE) / 0xFFFF;
    mfx.BRCParamMultiplier = static_cast<mfxU16>(multiplier == 1 ? 0 : multiplier);
    mfx.TargetKbps = static_cast<mfxU16>(target / multiplier);
    mfx.MaxKbps = static_cast<mfxU16>(maximum / multiplier);
}
