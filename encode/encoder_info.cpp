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
    // 4:2:0 in the record's depth: NV12, or P010 with the 10 bits in the high
    // bits of each 16-bit sample, as hardware surfaces hold them.
    mfxFrameInfo& frame = encode.FrameInfo;
    const bool tenBit = settings.bitDepth == 10;
    frame.FourCC = tenBit ? MFX_FOURCC_P010 : MFX_FOURCC_NV12;
    frame.ChromaFormat = MFX_CHROMAFORMAT_YUV420;
    frame.BitDepthLuma = tenBit ? 10 : 8;
    frame.BitDepthChroma = frame.BitDepthLuma;
    frame.Shift = tenBit ? 1 : 0;
    frame.PicStruct = MFX_PICSTRUCT_PROGRESSIVE;
    return encode;
}
