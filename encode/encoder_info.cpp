// MakeEncoderInfo and the coding options on their own: the settings
// dialog's video test builds its encoder description with them and links
// nothing else of the pipeline.
#include <cstring>

#include "encode/bit_rate.h"
#include "encode/codec.h"
#include "encode/coding_options.h"
#include "encode/encode_pipeline.h"
#include "encode/rate_control.h"

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
    // The mode's fields share the SDK's unions: QPs, quality, or AVBR's
    // accuracy and convergence in place of the buffer and bit-rate fields.
    const RateControlMode* mode = FindRateControl(settings.rateControl);
    if (mode == nullptr || mode->usesTargetKbps) {
        // CBR has always sent the maximum as well; AVBR's field is Convergence.
        SetBitRates(encode, settings.targetKbps, mode != nullptr && mode->usesAccuracy ? 0 : settings.maxKbps);
    }
    if (mode != nullptr && mode->usesQp) {
        encode.QPI = low16(settings.qpI);
        encode.QPP = low16(settings.qpP);
        encode.QPB = low16(settings.qpB);
    }
    if (mode != nullptr && mode->usesQuality && !mode->usesTargetKbps) encode.ICQQuality = low16(settings.quality);
    if (mode != nullptr && mode->usesAccuracy) {
        encode.Accuracy = low16(settings.avbrAccuracy);
        encode.Convergence = low16(settings.avbrConvergence);
    }
    // 0 in each: the runtime's choice, as a version-2 record always had it.
    encode.GopPicSize = low16(settings.gopLength);
    encode.GopRefDist = low16(settings.gopRefDist);
    encode.IdrInterval = low16(settings.idrInterval);
    // Closed GOPs only when the user set the structure: an editor or a web
    // upload cuts at keyframes.
    if (settings.gopLength != 0) encode.GopOptFlag = MFX_GOP_CLOSED;
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

void FillCodingOptions(CodingOptions& options, const SettingData& settings) {
    const RateControlMode* mode = FindRateControl(settings.rateControl);
    mfxExtCodingOption2& option2 = options.option2;
    std::memset(&option2, 0, sizeof(option2));
    option2.Header.BufferId = MFX_EXTBUFF_CODING_OPTION2;
    option2.Header.BufferSz = sizeof(option2);
    option2.LookAheadDepth = static_cast<mfxU16>(settings.lookAheadDepth & 0xFFFF);
    options.option2Asked = mode != nullptr && mode->usesLookAhead;
    mfxExtCodingOption3& option3 = options.option3;
    std::memset(&option3, 0, sizeof(option3));
    option3.Header.BufferId = MFX_EXTBUFF_CODING_OPTION3;
    option3.Header.BufferSz = sizeof(option3);
    option3.QVBRQuality = static_cast<mfxU16>(settings.quality & 0xFFFF);
    options.option3Asked = settings.rateControl == MFX_RATECONTROL_QVBR;
}

mfxU16 AttachCodingOptions(CodingOptions& options, mfxExtBuffer** list, mfxU16 count) {
    if (options.option2Asked) list[count++] = &options.option2.Header;
    if (options.option3Asked) list[count++] = &options.option3.Header;
    return count;
}
