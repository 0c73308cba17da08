#include "ui/video_test.h"

#include <cstdio>
#include <cstring>

#include "encode/bit_rate.h"
#include "ui/dialog_setting.h"

namespace {

std::string FormatStatus(const char* format, mfxStatus status) {
    char text[64];
    std::snprintf(text, sizeof text, format, static_cast<int>(status));
    return text;
}

std::string EncoderInitText(mfxStatus status) {
    switch (status) {
        case MFX_ERR_NONE: return "Success TestVideoParam";
        case MFX_WRN_PARTIAL_ACCELERATION: return "MFXVideoENCODE_Init: MFX_WRN_PARTIAL_ACCELERATION";
        case MFX_WRN_INCOMPATIBLE_VIDEO_PARAM: return "MFXVideoENCODE_Init: MFX_WRN_INCOMPATIBLE_VIDEO_PARAM";
        case MFX_ERR_INVALID_VIDEO_PARAM: return "MFXVideoENCODE_Init: MFX_ERR_INVALID_VIDEO_PARAM";
        case MFX_ERR_UNDEFINED_BEHAVIOR: return "MFXVideoENCODE_Init: MFX_ERR_UNDEFINED_BEHAVIOR";
        default: return FormatStatus("MFXVideoENCODE_Init: ErrorCode %d", status);
    }
}

}  // namespace

mfxVideoParam MakeTestVideoParam(const SettingData& data) {
    mfxVideoParam param;
    std::memset(&param, 0, sizeof param);
    mfxFrameInfo& frame = param.mfx.FrameInfo;
    frame.FourCC = MFX_FOURCC_NV12;
    frame.Width = 320;
    frame.Height = 240;
    frame.CropX = 0;
    frame.CropY = 0;
    frame.CropW = 320;
    frame.CropH = 240;
    frame.FrameRateExtN = 30;
    frame.FrameRateExtD = 1;
    frame.PicStruct = MFX_PICSTRUCT_PROGRESSIVE;
    frame.ChromaFormat = MFX_CHROMAFORMAT_YUV420;
    param.mfx.CodecId = MFX_CODEC_AVC;
    // The SDK's fields are 16 bits wide; only the low bits of a stored value
    // take effect.
    param.mfx.CodecProfile = static_cast<mfxU16>(data.codecProfile);
    param.mfx.CodecLevel = static_cast<mfxU16>(data.codecLevel);
    param.mfx.TargetUsage = static_cast<mfxU16>(data.targetUsage);
    param.mfx.RateControlMethod = static_cast<mfxU16>(data.rateControl);
    // The rates the user typed, up to 99999 kbps, through BRCParamMultiplier.
    SetBitRates(param.mfx, data.targetKbps, data.maxKbps);
    param.IOPattern = MFX_IOPATTERN_IN_SYSTEM_MEMORY;
    return param;
}

std::string RunVideoParamTest(const SettingData& data) {
    mfxVersion version;
    version.Major = 1;
    version.Minor = 1;
    mfxSession session = nullptr;
    mfxStatus status = MFXInit(static_cast<mfxIMPL>(data.hardwareImpl), &version, &session);
    if (status != MFX_ERR_NONE) {
        if (status == MFX_ERR_UNSUPPORTED) return "MFXInit: MFX_ERR_UNSUPPORTED";
        return FormatStatus("MFXInit: ErrorCode %d", status);
    }
    mfxVideoParam param = MakeTestVideoParam(data);
    status = MFXVideoENCODE_Init(session, &param);
    MFXClose(session);  // closes the encoder with the session
    return EncoderInitText(status);
}

void CDialogSetting::TestVideoParam() {
    std::string text = RunVideoParamTest(TestSetting());
    controls->ShowMessage(text.c_str());
}
