#include "encode/setup_cause.h"

#include <algorithm>
#include <cstdio>

#include "core/export_job.h"
#include "encode/codec.h"
#include "encode/mfx_status.h"
#include "encode/rate_control.h"
#include "encode/runtime_report.h"

namespace {

// The largest frame side that survives the SDK's 16-bit, 16-aligned fields.
constexpr int32_t kMaxFrameSide = 0xFFF0;

// "30", "29.97": frames per second as a user reads them.
std::string FpsText(uint32_t rateN, uint32_t rateD) {
    if (rateD != 0 && rateN % rateD == 0) return std::to_string(rateN / rateD);
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", rateD != 0 ? static_cast<double>(rateN) / rateD : 0.0);
    return text;
}

// The highest bit rate the stream may reach, which the level must allow: a
// stream without a maximum (CBR, AVBR) runs at its target.
int32_t PeakKbps(const SettingData& settings) {
    // Quality-targeted modes name no rate: only the size and frame rate
    // decide the level.
    const RateControlMode* mode = FindRateControl(settings.rateControl);
    if (mode != nullptr && !mode->usesTargetKbps) return 0;
    if (mode != nullptr && !mode->usesMaxKbps) return settings.targetKbps;
    return std::max(settings.targetKbps, settings.maxKbps);
}

std::string ProfileList(const CodecInfo& codec) {
    std::string list;
    for (const CodecProfile& profile : codec.profiles) {
        list += (list.empty() ? "" : ", ") + std::string(profile.name) + " " + std::to_string(profile.value);
    }
    return list;
}

// "HEVC (0x43564548)": a FourCC shown as its letters when they are printable,
// with its number, since a stored record may hold anything.
std::string CodecText(int32_t value) {
    const auto id = static_cast<uint32_t>(value);
    std::string letters;
    for (int shift = 0; shift < 32; shift += 8) {
        const char c = static_cast<char>((id >> shift) & 0xFF);
        if (c < 0x20 || c > 0x7E) return std::to_string(value);
        letters += c;
    }
    while (!letters.empty() && letters.back() == ' ') letters.pop_back();
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08X", id);
    return letters + " (" + hex + ")";
}

std::string CodecList() {
    std::string list;
    for (const CodecInfo* codec : Codecs()) list += (list.empty() ? "" : ", ") + std::string(codec->name);
    return list;
}

}  // namespace

std::string InitFailureCause(mfxStatus status, mfxIMPL impl) {
    std::string cause = "MFXInit answered " + MfxStatusText(status) + " for " + ImplName(impl);
    const std::string search = RuntimeSearchText();
    return search.empty() ? cause : cause + "; " + search;
}

std::string UnlistedSetting(const SettingData& settings) {
    if (FindCodec(static_cast<mfxU32>(settings.codec)) == nullptr) {
        return "codec " + CodecText(settings.codec) + " is not one this build encodes (" + CodecList() + ")";
    }
    const CodecInfo& codec = SettingsCodec(settings);
    const std::string codecName = codec.name;
    if (settings.bitDepth != 8 && !(settings.bitDepth == 10 && codec.tenBit)) {
        if (codec.id == MFX_CODEC_AVC) {
            return "bitDepth " + std::to_string(settings.bitDepth) +
                   ": H.264 is encoded in 8 bits only (no Intel GPU encodes 10-bit H.264)";
        }
        return "bitDepth " + std::to_string(settings.bitDepth) + " is not 8 or 10";
    }
    const CodecProfile* profile = FindProfile(codec, settings.codecProfile);
    if (profile == nullptr) {
        return "codecProfile " + std::to_string(settings.codecProfile) + " is not an " + codecName + " profile (" + ProfileList(codec) + ")";
    }
    if (!ProfileTakes(*profile, settings.bitDepth)) {
        return codecName + " " + profile->name + " is " + std::to_string(profile->bitDepth) + "-bit; " +
               std::to_string(settings.bitDepth) + "-bit " + codecName + " needs " +
               ProfileForBitDepth(codec, settings.bitDepth).name;
    }
    if (settings.codecLevel != MFX_LEVEL_UNKNOWN && FindLevel(codec, settings.codecLevel) == nullptr) {
        return "codecLevel " + std::to_string(settings.codecLevel) + " is not an " + codecName + " level (auto, " + codec.levels.front().name + " to " + codec.levels.back().name + ")";
    }
    if (settings.targetUsage < MFX_TARGETUSAGE_BEST_QUALITY || settings.targetUsage > MFX_TARGETUSAGE_BEST_SPEED) {
        return "targetUsage " + std::to_string(settings.targetUsage) + " is not 1 (quality) to 7 (speed)";
    }
    const RateControlMode* mode = FindRateControl(settings.rateControl);
    if (mode == nullptr) {
        std::string modes;
        for (const RateControlMode& listed : RateControlModes()) {
            modes += (modes.empty() ? "" : ", ") + std::string(listed.name) + " " + std::to_string(listed.value);
        }
        return "rateControl " + std::to_string(settings.rateControl) + " is not a rate control (" + modes + ")";
    }
    // The SDK's ranges (rate_control.h): QPs of 1 to 51 (AV1's quantizer
    // indices 1 to 255), qualities 1 to 51, a look-ahead of 10 to 100 frames
    // or the runtime's choice (0).
    auto outside = [](const char* name, int32_t value, FieldRange range) {
        return name + std::string(" ") + std::to_string(value) + " is outside " + std::to_string(range.low) + " to " +
               std::to_string(range.high);
    };
    const FieldRange qp = QpRange(codec.id);
    if (mode->usesQp) {
        for (const auto& [name, value] : {std::pair<const char*, int32_t>{"qpI", settings.qpI},
                                          {"qpP", settings.qpP},
                                          {"qpB", settings.qpB}}) {
            if (!qp.Holds(value)) return outside(name, value, qp) + " for " + codecName;
        }
    }
    if (mode->usesQuality && !kQualityRange.Holds(settings.quality)) {
        return outside("quality", settings.quality, kQualityRange);
    }
    // The rest would reach the SDK's 16-bit fields cut to their low bits.
    struct Checked {
        bool read;
        const char* name;
        int32_t value;
        FieldRange range;
        const char* zero = " (or 0, the runtime's choice)";
    };
    const Checked checked[] = {
        {mode->usesLookAhead, "lookAheadDepth", settings.lookAheadDepth, kLookAheadRange},
        {mode->usesAccuracy, "avbrAccuracy", settings.avbrAccuracy, kAvbrAccuracyRange},
        {mode->usesAccuracy, "avbrConvergence", settings.avbrConvergence, kAvbrConvergenceRange},
        {true, "gopLength", settings.gopLength, kGopLengthRange},
        // gopRefDist is B-frames + 1.
        {true, "gopRefDist", settings.gopRefDist, {kBFramesRange.low + 1, kBFramesRange.high + 1, true}},
        {true, "idrInterval", settings.idrInterval, kIdrIntervalRange,
         SettingsCodec(settings).id == MFX_CODEC_HEVC ? " (or 0: only the first I-frame an IDR frame)"
                                                       : " (or 0: every I-frame an IDR frame)"},
    };
    for (const Checked& field : checked) {
        if (field.read && !field.range.Holds(field.value)) {
            return outside(field.name, field.value, field.range) + (field.range.zeroIsAuto ? field.zero : "");
        }
    }
    return "";
}

std::string CodecRefusedText(const SettingData& settings) {
    const CodecInfo& codec = SettingsCodec(settings);
    std::string text = "This runtime does not encode " + std::string(codec.name) + " " +
                       ProfileName(codec, settings.codecProfile) + " in " + std::to_string(settings.bitDepth) +
                       " bits";
    if (*codec.hardwareNeeded != '\0') text += "; " + std::string(codec.hardwareNeeded);
    return text;
}

std::string QueryRefusalText(const SettingData& settings) {
    // Every runtime has CBR and VBR; a refused other mode is the mode.
    const bool everyRuntimeHasIt =
        settings.rateControl == MFX_RATECONTROL_CBR || settings.rateControl == MFX_RATECONTROL_VBR;
    return everyRuntimeHasIt ? CodecRefusedText(settings)
                             : RateControlName(settings.rateControl) + " is not supported for " +
                                   SettingsCodec(settings).name + " by this runtime";
}

std::string SettingsProblem(const SettingData& settings, int width, int height, uint32_t rateN, uint32_t rateD) {
    const std::string unlisted = UnlistedSetting(settings);
    if (!unlisted.empty()) return unlisted;
    const CodecInfo& codec = SettingsCodec(settings);
    const std::string codecName = codec.name;
    const RateControlMode* mode = FindRateControl(settings.rateControl);
    if (mode->usesTargetKbps && settings.targetKbps < 1) {
        return "targetKbps " + std::to_string(settings.targetKbps) + " is below 1 kbps";
    }
    const int32_t kbps = PeakKbps(settings);
    const std::string format = std::to_string(width) + "x" + std::to_string(height) + " at " +
                               FpsText(rateN, rateD) + " fps" + (kbps > 0 ? " and " + std::to_string(kbps) + " kbps" : "");
    const auto profile = static_cast<mfxU16>(settings.codecProfile);
    const std::optional<mfxU16> lowest = LowestLevelThatFits(codec, width, height, rateN, rateD, kbps, profile);
    if (!lowest) return "No " + codecName + " level holds " + format;
    // "auto" lets the runtime pick a level that fits.
    if (settings.codecLevel == MFX_LEVEL_UNKNOWN) return "";
    if (*LevelRank(codec, settings.codecLevel) >= *LevelRank(codec, *lowest)) return "";
    return "Level " + LevelName(codec, settings.codecLevel) + " is too low for " + format +
           "; the lowest level that fits is " + LevelName(codec, *lowest);
}

std::string SetupFailureCause(const ExportJob& job, const EncodePipeline& pipeline) {
    if (job.width <= 0 || job.width > kMaxFrameSide || job.height <= 0 || job.height > kMaxFrameSide) {
        return "Frame size " + std::to_string(job.width) + "x" + std::to_string(job.height) +
               ": each side must be 1 to " + std::to_string(kMaxFrameSide) + " pixels";
    }
    const SettingData& settings = job.settings;
    if (settings.targetKbps < 0 || settings.maxKbps < 0) {
        return "Bit rates " + std::to_string(settings.targetKbps) + "/" + std::to_string(settings.maxKbps) +
               " kbps: a bit rate cannot be negative";
    }
    if (pipeline.failedCall == nullptr) return "The video pipeline could not be set up (out of memory).";
    if (std::string_view(pipeline.failedCall) == "MFXInit") {
        return InitFailureCause(pipeline.failedStatus, static_cast<mfxIMPL>(settings.hardwareImpl));
    }
    const std::string answer = std::string(pipeline.failedCall) + " answered " + MfxStatusText(pipeline.failedStatus);
    std::string problem = SettingsProblem(settings, job.width, job.height, static_cast<uint32_t>(job.rate),
                                          static_cast<uint32_t>(job.scale));
    // Query answers MFX_ERR_UNSUPPORTED for whatever it cannot take; with no
    // setting to blame, that is the codec (AV1 of the Media SDK runtime).
    if (problem.empty() && std::string_view(pipeline.failedCall) == "MFXVideoENCODE_Query" &&
        pipeline.failedStatus == MFX_ERR_UNSUPPORTED) {
        problem = QueryRefusalText(settings);
    }
    // A warning from the encoder's initialisation: it would have encoded
    // something else than asked.
    if (problem.empty() && !pipeline.encoderChanges.empty()) problem = ChangeRefusalText(settings, pipeline.encoderChanges);
    return problem.empty() ? answer : problem + " (" + answer + ")";
}

std::string ChangeRefusalText(const SettingData& settings, const std::vector<std::string>& changes) {
    const std::string modeChange = "rate control " + RateControlName(settings.rateControl) + " to ";
    if (changes.front().starts_with(modeChange)) {
        return RateControlName(settings.rateControl) + " is not supported for " + SettingsCodec(settings).name +
               " by this runtime; it would encode " + changes.front().substr(modeChange.size());
    }
    std::string list;
    for (const std::string& change : changes) list += (list.empty() ? "" : ", ") + change;
    return "The runtime would change " + list;
}
