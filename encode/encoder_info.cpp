// MakeEncoderInfo on its own: the settings dialog's video test builds its
// encoder description with it and links nothing else of the pipeline.
#include "encode/bit_rate.h"
#include "encode/codec.h"
#include "encode/encode_pipeline.h"

mfxInfoMFX MakeEncoderInfo(const SettingData& settings) {
    // The SDK's fields are 16 bits wide; only the low bits of a stored value
    // take effect.
    auto low16 = [](int32_t value) { return static_cast<mfxU16>(value & 0xFFFF); };
    mfxInfoMFX encode{};
    encode.CodecId = SettingsCodec(settings).id;
    encode.CodecProfile = low16(settings.codecProfile);
    encode.CodecLevel = low16(settings.codecLevel);
    encode.TargetUsage = low16(settings.targetUsage);
    encode.RateControlMethod = low16(settings.rateControl);
    SetBitRates(encode, settings.targetKbps, settings.maxKbps);
    return encode;
}
