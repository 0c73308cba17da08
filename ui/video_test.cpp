#include "ui/video_test.h"

#include <cstdio>
#include <cstring>

#include "encode/codec.h"
#include "encode/colour.h"
#include "encode/encode_pipeline.h"
#include "encode/mfx_status.h"
#include "encode/runtime_report.h"
#include "encode/setup_cause.h"
#include "ui/choice_tables.h"
#include "ui/dialog_setting.h"

namespace {

static_assert(kTestVideoRateN % kTestVideoRateD == 0, "the texts give the test's rate as whole frames per second");

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

void AddLine(std::string& text, const std::string& line) {
    if (!line.empty()) text += "\n" + line;
}

std::string LevelText(const CodecInfo& codec, int32_t level) {
    // LevelName says "level N" itself for a value the table does not hold.
    return FindLevel(codec, level) != nullptr ? "level " + LevelName(codec, level) : LevelName(codec, level);
}

std::string RateControlText(int32_t value) {
    for (const ChoiceRow* row = kRateControlChoices; row->label != nullptr; ++row) {
        if (row->value == value) return row->label;
    }
    return "rate control " + std::to_string(value);
}

// What the encoder was asked for, in the settings' words.
std::string AskedText(const CodecInfo& codec, const SettingData& data) {
    return codec.name + std::string(" ") + ProfileName(codec, data.codecProfile) + ", " +
           LevelText(codec, data.codecLevel) + ", " + RateControlText(data.rateControl) + " " +
           std::to_string(data.targetKbps) + "/" + std::to_string(data.maxKbps) + " kbps, " +
           std::to_string(kTestVideoWidth) + "x" + std::to_string(kTestVideoHeight) + " at " +
           std::to_string(kTestVideoRateN / kTestVideoRateD) + " fps";
}

// The codec as the test asked for it, depth included: the lines above name
// the codec only when the encoder refused.
std::string CodecText(const CodecInfo& codec, const SettingData& data) {
    return std::string("Codec: ") + codec.name + " " + ProfileName(codec, data.codecProfile) + " " +
           std::to_string(data.bitDepth) + "-bit";
}

std::string RuntimeText(const RuntimeReport& runtime) {
    char api[32];
    std::snprintf(api, sizeof api, "API %u.%u", runtime.api.Major, runtime.api.Minor);
    return "Runtime: " + runtime.file + " (" + (runtime.kind.empty() ? "API not reported" : runtime.kind + ", " + api) +
           ")";
}

std::string ColourText() {
    return std::string("Colour: ") + MatrixName(MatrixForFrame(kTestVideoWidth, kTestVideoHeight)) + " for this test's " +
           std::to_string(kTestVideoWidth) + "x" + std::to_string(kTestVideoHeight) + "; " + ColourRuleText();
}

// The level the initialised encoder settled on, or empty when it does not
// say.
std::string SettledLevelText(mfxSession session, const CodecInfo& codec, const SettingData& data) {
    mfxVideoParam settled;
    std::memset(&settled, 0, sizeof settled);
    if (MFXVideoENCODE_GetVideoParam(session, &settled) != MFX_ERR_NONE) return {};
    const mfxU16 level = settled.mfx.CodecLevel;
    std::string text = "Level: " + LevelName(codec, level);
    if (level != (data.codecLevel & 0xFFFF)) text += " (the settings ask for " + LevelName(codec, data.codecLevel) + ")";
    return text;
}

}  // namespace

mfxVideoParam MakeTestVideoParam(const SettingData& data) {
    mfxVideoParam param;
    std::memset(&param, 0, sizeof param);
    param.mfx = MakeEncoderInfo(data);
    mfxFrameInfo& frame = param.mfx.FrameInfo;
    frame.Width = kTestVideoWidth;
    frame.Height = kTestVideoHeight;
    frame.CropX = 0;
    frame.CropY = 0;
    frame.CropW = kTestVideoWidth;
    frame.CropH = kTestVideoHeight;
    frame.FrameRateExtN = kTestVideoRateN;
    frame.FrameRateExtD = kTestVideoRateD;
    param.IOPattern = MFX_IOPATTERN_IN_SYSTEM_MEMORY;
    return param;
}

std::string RunVideoParamTest(const SettingData& data) {
    mfxVersion version;
    version.Major = 1;
    version.Minor = 1;
    mfxSession session = nullptr;
    const mfxIMPL impl = static_cast<mfxIMPL>(data.hardwareImpl);
    mfxStatus status = MFXInit(impl, &version, &session);
    if (status != MFX_ERR_NONE) {
        std::string text = status == MFX_ERR_UNSUPPORTED ? std::string("MFXInit: MFX_ERR_UNSUPPORTED")
                                                          : FormatStatus("MFXInit: ErrorCode %d", status);
        AddLine(text, InitFailureCause(status, impl));
        return text;
    }
    const CodecInfo& codec = SettingsCodec(data);
    mfxVideoParam param = MakeTestVideoParam(data);
    // Query says whether the runtime encodes the codec and mode at all,
    // which Init's answer does not tell apart from a bad parameter.
    mfxVideoParam queryIn = param;
    mfxVideoParam queryOut = param;
    const mfxStatus queryStatus = MFXVideoENCODE_Query(session, &queryIn, &queryOut);
    status = MFXVideoENCODE_Init(session, &param);
    std::string text = EncoderInitText(status);
    if (status != MFX_ERR_NONE) {
        AddLine(text, "MFXVideoENCODE_Init answered " + MfxStatusText(status) + " to " + AskedText(codec, data));
        std::string problem =
            SettingsProblem(data, kTestVideoWidth, kTestVideoHeight, kTestVideoRateN, kTestVideoRateD);
        if (problem.empty() && queryStatus == MFX_ERR_UNSUPPORTED) {
            problem = QueryRefusalText(data) + " (MFXVideoENCODE_Query answered MFX_ERR_UNSUPPORTED)";
        }
        AddLine(text, problem);
    }
    AddLine(text, CodecText(codec, data));
    const RuntimeReport runtime = DescribeRuntime(session);
    AddLine(text, RuntimeText(runtime));
    AddLine(text, "Adapter: " + (runtime.impl != 0 ? ImplName(runtime.impl) : std::string("not reported")));
    if (status >= MFX_ERR_NONE) {
        AddLine(text, ColourText());
        AddLine(text, SettledLevelText(session, codec, data));
    }
    MFXClose(session);  // closes the encoder with the session
    return text;
}

void CDialogSetting::TestVideoParam() {
    std::string text = RunVideoParamTest(TestSetting());
    controls->ShowMessage(text.c_str());
}
