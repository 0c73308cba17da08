#include "encode/encoder_params.h"

#include <cstdio>

#include "core/setting_data.h"
#include "encode/codec.h"
#include "encode/encode_pipeline.h"
#include "encode/rate_control.h"

namespace {

uint32_t Multiplier(const mfxInfoMFX& mfx) { return mfx.BRCParamMultiplier == 0 ? 1u : mfx.BRCParamMultiplier; }

unsigned BitDepth(const mfxFrameInfo& frame) {
    if (frame.BitDepthLuma != 0) return frame.BitDepthLuma;
    return frame.FourCC == MFX_FOURCC_P010 ? 10u : 8u;
}

// One field of the description, as the user reads it and as it compares.
struct Field {
    std::string name;
    uint32_t value;
    std::string text;
};

// The rate-control fields `mode` reads, in the order the dialog shows them.
std::vector<Field> RateFields(const EncoderParams& params, const RateControlMode& mode) {
    const mfxInfoMFX& mfx = params.mfx;
    std::vector<Field> fields;
    auto number = [&](const char* name, uint32_t value) { fields.push_back({name, value, std::to_string(value)}); };
    if (mode.usesQp) {
        number("QP I", mfx.QPI);
        number("QP P", mfx.QPP);
        number("QP B", mfx.QPB);
    }
    if (mode.usesQuality) number("quality", mode.usesTargetKbps ? params.qvbrQuality : mfx.ICQQuality);
    if (mode.usesTargetKbps) number("target kbps", mfx.TargetKbps * Multiplier(mfx));
    if (mode.usesMaxKbps) number("max kbps", mfx.MaxKbps * Multiplier(mfx));
    if (mode.usesAccuracy) {
        number("accuracy", mfx.Accuracy);
        number("convergence", mfx.Convergence);
    }
    if (mode.usesLookAhead) number("look-ahead", params.lookAheadDepth);
    return fields;
}

// Every field the description shows, rate control first after the codec's.
std::vector<Field> Fields(const EncoderParams& params) {
    const mfxInfoMFX& mfx = params.mfx;
    const CodecInfo* known = FindCodec(mfx.CodecId);
    const CodecInfo& codec = known != nullptr ? *known : AvcCodec();
    std::vector<Field> fields = {
        {"profile", mfx.CodecProfile, ProfileName(codec, mfx.CodecProfile)},
        {"level", mfx.CodecLevel, LevelName(codec, mfx.CodecLevel)},
        {"target usage", mfx.TargetUsage, std::to_string(mfx.TargetUsage)},
        {"rate control", mfx.RateControlMethod, RateControlName(mfx.RateControlMethod)},
    };
    if (const RateControlMode* mode = FindRateControl(mfx.RateControlMethod)) {
        for (Field& field : RateFields(params, *mode)) fields.push_back(std::move(field));
    }
    for (const Field& field : {Field{"GOP", mfx.GopPicSize, std::to_string(mfx.GopPicSize)},
                               Field{"B distance", mfx.GopRefDist, std::to_string(mfx.GopRefDist)},
                               Field{"IDR interval", mfx.IdrInterval, std::to_string(mfx.IdrInterval)}}) {
        fields.push_back(field);
    }
    return fields;
}

}  // namespace

EncoderParams AskedEncoderParams(const SettingData& settings) {
    EncoderParams params;
    params.mfx = MakeEncoderInfo(settings);
    params.lookAheadDepth = static_cast<mfxU16>(settings.lookAheadDepth & 0xFFFF);
    params.qvbrQuality = static_cast<mfxU16>(settings.quality & 0xFFFF);
    return params;
}

mfxStatus GetSettledEncoderParams(mfxSession session, const EncoderParams& asked, EncoderParams* settled) {
    const RateControlMode* mode = FindRateControl(asked.mfx.RateControlMethod);
    mfxExtCodingOption2 option2{};
    option2.Header = {MFX_EXTBUFF_CODING_OPTION2, sizeof(option2)};
    mfxExtCodingOption3 option3{};
    option3.Header = {MFX_EXTBUFF_CODING_OPTION3, sizeof(option3)};
    mfxExtBuffer* buffers[2];
    mfxU16 count = 0;
    if (mode != nullptr && mode->usesLookAhead) buffers[count++] = &option2.Header;
    if (asked.mfx.RateControlMethod == MFX_RATECONTROL_QVBR) buffers[count++] = &option3.Header;
    mfxVideoParam param{};
    param.ExtParam = count != 0 ? buffers : nullptr;
    param.NumExtParam = count;
    mfxStatus status = MFXVideoENCODE_GetVideoParam(session, &param);
    if (status < MFX_ERR_NONE && count != 0) {
        // A runtime that fills no such buffer still tells the rest.
        param = mfxVideoParam{};
        option2.LookAheadDepth = asked.lookAheadDepth;
        option3.QVBRQuality = asked.qvbrQuality;
        status = MFXVideoENCODE_GetVideoParam(session, &param);
    }
    if (status < MFX_ERR_NONE) return status;
    settled->mfx = param.mfx;
    settled->lookAheadDepth = option2.LookAheadDepth;
    settled->qvbrQuality = option3.QVBRQuality;
    return status;
}

std::string DescribeEncoder(const EncoderParams& params) {
    const CodecInfo* codec = FindCodec(params.mfx.CodecId);
    std::string text = std::string(codec != nullptr ? codec->name : "codec ?") + " " +
                       std::to_string(BitDepth(params.mfx.FrameInfo)) + "-bit";
    for (const Field& field : Fields(params)) {
        text += ", " + field.name + " " + field.text;
        // Profiles, levels and modes also by the SDK's number, which a
        // runtime's documentation uses.
        if (field.name == "profile" || field.name == "level" || field.name == "rate control") {
            text += " (" + std::to_string(field.value) + ")";
        }
    }
    return text;
}

std::vector<std::string> EncoderChanges(const EncoderParams& asked, const EncoderParams& settled) {
    std::vector<std::string> changes;
    const std::vector<Field> settledFields = Fields(settled);
    for (const Field& field : Fields(asked)) {
        if (field.value == 0) continue;
        // A changed mode reads other fields: the mode's change says it all.
        if (field.name == "rate control" && field.value != settled.mfx.RateControlMethod) {
            changes.push_back("rate control " + field.text + " to " + RateControlName(settled.mfx.RateControlMethod));
            continue;
        }
        for (const Field& other : settledFields) {
            if (other.name == field.name && other.value != field.value) {
                changes.push_back(field.name + " " + field.text + " to " + other.text);
            }
        }
    }
    return changes;
}
