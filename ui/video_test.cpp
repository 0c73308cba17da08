#include "ui/video_test.h"

#include <cstdio>
#include <cstring>

#include "encode/codec.h"
#include "encode/coding_options.h"
#include "encode/colour.h"
#include "encode/encode_pipeline.h"
#include "encode/mfx_status.h"
#include "encode/rate_control.h"
#include "encode/runtime_report.h"
#include "encode/setup_cause.h"

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

// What the encoder was asked for, in the settings' words.
std::string AskedText(const CodecInfo& codec, const SettingData& data) {
    return codec.name + std::string(" ") + ProfileName(codec, data.codecProfile) + ", " +
           LevelText(codec, data.codecLevel) + ", " + RateControlName(data.rateControl) + " " +
           RateControlValues(data) + ", " +
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

// A value as the settings name it: "auto" for the runtime's choice.
std::string ValueText(uint32_t value, bool zeroIsAuto) {
    return zeroIsAuto && value == 0 ? std::string("auto") : std::to_string(value);
}

// "BFrames: 2 (the settings ask for auto)", or "" when the runtime kept it.
std::string ChangeText(const char* name, uint32_t asked, uint32_t settled, bool zeroIsAuto = false) {
    if (asked == settled) return {};
    return std::string(name) + ": " + ValueText(settled, zeroIsAuto) + " (the settings ask for " +
           ValueText(asked, zeroIsAuto) + ")";
}

// B-frames in a row of a GopRefDist; 0 is the runtime's choice.
uint32_t BFrames(mfxU16 refDist) { return refDist == 0 ? 0 : refDist - 1u; }

uint32_t Kbps(const mfxInfoMFX& mfx, mfxU16 field) {
    return static_cast<uint32_t>(field) * (mfx.BRCParamMultiplier == 0 ? 1u : mfx.BRCParamMultiplier);
}

// What the initialised encoder settled on: the level, then each field of the
// mode and the GOP that it changed or chose for "auto", in the settings'
// words. Nothing when the runtime does not say (GetVideoParam fails).
std::string SettledText(mfxSession session, const CodecInfo& codec, const SettingData& data,
                        const mfxVideoParam& asked, const CodingOptions& askedOptions) {
    // Buffers a runtime that answers overwrites; one that leaves them says
    // nothing about them.
    constexpr mfxU16 kUnanswered = 0xFFFF;
    CodingOptions options = askedOptions;
    options.option2.LookAheadDepth = kUnanswered;
    options.option3.QVBRQuality = kUnanswered;
    mfxExtBuffer* ext[2] = {};
    mfxVideoParam settled;
    std::memset(&settled, 0, sizeof settled);
    settled.NumExtParam = AttachCodingOptions(options, ext, 0);
    settled.ExtParam = settled.NumExtParam != 0 ? ext : nullptr;
    if (MFXVideoENCODE_GetVideoParam(session, &settled) != MFX_ERR_NONE) return {};
    const mfxInfoMFX& was = asked.mfx;
    const mfxInfoMFX& now = settled.mfx;
    const mfxU16 level = now.CodecLevel;
    std::string text = "Level: " + LevelName(codec, level);
    if (level != (data.codecLevel & 0xFFFF)) text += " (the settings ask for " + LevelName(codec, data.codecLevel) + ")";
    auto add = [&text](const std::string& line) { AddLine(text, line); };
    if (now.RateControlMethod != was.RateControlMethod) {
        // The mode's fields then mean another mode's: the mode says it all.
        add("RateControl: " + RateControlName(now.RateControlMethod) + " (the settings ask for " +
            RateControlName(was.RateControlMethod) + ")");
    } else if (const RateControlMode* mode = FindRateControl(was.RateControlMethod)) {
        if (mode->usesTargetKbps) add(ChangeText("TargetKbps", Kbps(was, was.TargetKbps), Kbps(now, now.TargetKbps)));
        if (mode->usesMaxKbps) add(ChangeText("MaxKbps", Kbps(was, was.MaxKbps), Kbps(now, now.MaxKbps)));
        if (mode->usesQp) {
            add(ChangeText("QP I", was.QPI, now.QPI));
            add(ChangeText("QP P", was.QPP, now.QPP));
            add(ChangeText("QP B", was.QPB, now.QPB));
        }
        if (mode->usesQuality && !mode->usesTargetKbps) add(ChangeText("Quality", was.ICQQuality, now.ICQQuality));
        if (options.option3Asked && options.option3.QVBRQuality != kUnanswered) {
            add(ChangeText("Quality", askedOptions.option3.QVBRQuality, options.option3.QVBRQuality));
        }
        if (options.option2Asked && options.option2.LookAheadDepth != kUnanswered) {
            add(ChangeText("LookAhead", askedOptions.option2.LookAheadDepth, options.option2.LookAheadDepth, true));
        }
        if (mode->usesAccuracy) {
            add(ChangeText("Accuracy", was.Accuracy, now.Accuracy, true));
            add(ChangeText("Convergence", was.Convergence, now.Convergence, true));
        }
    }
    // The GOP in one line: the parts the runtime chose or changed.
    std::string gopNow, gopAsked;
    auto part = [&gopNow, &gopAsked](const char* name, const std::string& now, const std::string& was) {
        if (now == was) return;
        gopNow += (gopNow.empty() ? "" : ", ") + std::string(name) + " " + now;
        gopAsked += (gopAsked.empty() ? "" : ", ") + was;
    };
    part("length", ValueText(now.GopPicSize, true), ValueText(was.GopPicSize, true));
    part("B-frames", ValueText(BFrames(now.GopRefDist), now.GopRefDist == 0),
         ValueText(BFrames(was.GopRefDist), was.GopRefDist == 0));
    part("IDR interval", ValueText(now.IdrInterval, true), ValueText(was.IdrInterval, true));
    if (!gopNow.empty()) add("GOP: " + gopNow + " (the settings ask for " + gopAsked + ")");
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
    // which Init's answer does not tell apart from a bad parameter. As the
    // export asks it: without the extension buffers, which Init then gets.
    mfxVideoParam queryIn = param;
    mfxVideoParam queryOut = param;
    const mfxStatus queryStatus = MFXVideoENCODE_Query(session, &queryIn, &queryOut);
    CodingOptions options;
    FillCodingOptions(options, data);
    mfxExtBuffer* ext[2] = {};
    param.NumExtParam = AttachCodingOptions(options, ext, 0);
    param.ExtParam = param.NumExtParam != 0 ? ext : nullptr;
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
        AddLine(text, SettledText(session, codec, data, param, options));
    }
    MFXClose(session);  // closes the encoder with the session
    return text;
}
