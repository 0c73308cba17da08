#include "encode/parameter_changes.h"

#include "encode/codec.h"
#include "encode/rate_control.h"

namespace {

uint32_t Kbps(const mfxInfoMFX& mfx, mfxU16 value) {
    return static_cast<uint32_t>(value) * (mfx.BRCParamMultiplier == 0 ? 1u : mfx.BRCParamMultiplier);
}

unsigned Depth(const mfxInfoMFX& mfx) {
    if (mfx.FrameInfo.BitDepthLuma != 0) return mfx.FrameInfo.BitDepthLuma;
    return mfx.FrameInfo.FourCC == MFX_FOURCC_P010 ? 10u : 8u;
}

}  // namespace

std::vector<std::string> ChangedParameters(const mfxInfoMFX& asked, const mfxInfoMFX& settled) {
    std::vector<std::string> lines;
    const CodecInfo* found = FindCodec(asked.CodecId);
    const CodecInfo& codec = found != nullptr ? *found : AvcCodec();
    auto change = [&](const char* field, const std::string& from, const std::string& to) {
        lines.push_back(std::string(field) + ": asked " + from + ", settled " + to);
    };
    auto number = [&](const char* field, uint32_t from, uint32_t to, bool zeroIsChoice) {
        if (from != to && !(zeroIsChoice && from == 0)) change(field, std::to_string(from), std::to_string(to));
    };
    auto named = [](const std::string& name, uint32_t value) { return name + " (" + std::to_string(value) + ")"; };

    if (asked.CodecId != settled.CodecId) {
        const CodecInfo* to = FindCodec(settled.CodecId);
        change("codec", codec.name, to != nullptr ? to->name : std::to_string(settled.CodecId));
    }
    number("bit depth", Depth(asked), Depth(settled), false);
    if (asked.CodecProfile != 0 && asked.CodecProfile != settled.CodecProfile) {
        change("profile", named(ProfileName(codec, asked.CodecProfile), asked.CodecProfile),
               named(ProfileName(codec, settled.CodecProfile), settled.CodecProfile));
    }
    if (asked.CodecLevel != 0 && asked.CodecLevel != settled.CodecLevel) {
        change("level", named(LevelName(codec, asked.CodecLevel), asked.CodecLevel),
               named(LevelName(codec, settled.CodecLevel), settled.CodecLevel));
    }
    number("target usage", asked.TargetUsage, settled.TargetUsage, true);
    if (asked.RateControlMethod != settled.RateControlMethod) {
        change("rate control", RateControlName(asked.RateControlMethod), RateControlName(settled.RateControlMethod));
    }
    // The bit-rate and QP fields share their room with other modes' fields:
    // only the mode says what they mean, so another mode settled on leaves
    // them uncompared.
    const RateControlMode* mode = FindRateControl(asked.RateControlMethod);
    if (mode != nullptr && asked.RateControlMethod == settled.RateControlMethod) {
        if (mode->usesTargetKbps) {
            number("target kbps", Kbps(asked, asked.TargetKbps), Kbps(settled, settled.TargetKbps), false);
        }
        if (mode->usesMaxKbps) number("max kbps", Kbps(asked, asked.MaxKbps), Kbps(settled, settled.MaxKbps), false);
        if (mode->usesQp) {
            number("QP I", asked.QPI, settled.QPI, false);
            number("QP P", asked.QPP, settled.QPP, false);
            number("QP B", asked.QPB, settled.QPB, false);
        }
    }
    number("GOP", asked.GopPicSize, settled.GopPicSize, true);
    number("B distance", asked.GopRefDist, settled.GopRefDist, true);
    number("IDR interval", asked.IdrInterval, settled.IdrInterval, false);
    return lines;
}
