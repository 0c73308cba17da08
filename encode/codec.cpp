#include "encode/codec.h"

#include "core/setting_data.h"

namespace {

constexpr CodecProfile kAvcProfiles[] = {
    {"Baseline", "baseline", MFX_PROFILE_AVC_BASELINE, 1000},
    {"Main", "main", MFX_PROFILE_AVC_MAIN, 1000},
    {"High", "high", MFX_PROFILE_AVC_HIGH, 1250},
};

// H.264's level limits (MaxMBPS, MaxFS, MaxBR). Levels 6 to 6.2 are left
// out: neither the dialog nor tarvo-host's settings have ever offered them.
constexpr CodecLevel kAvcLevels[] = {
    {"1", MFX_LEVEL_AVC_1, 1485, 99, 64},
    {"1b", MFX_LEVEL_AVC_1b, 1485, 99, 128},
    {"1.1", MFX_LEVEL_AVC_11, 3000, 396, 192},
    {"1.2", MFX_LEVEL_AVC_12, 6000, 396, 384},
    {"1.3", MFX_LEVEL_AVC_13, 11880, 396, 768},
    {"2", MFX_LEVEL_AVC_2, 11880, 396, 2000},
    {"2.1", MFX_LEVEL_AVC_21, 19800, 792, 4000},
    {"2.2", MFX_LEVEL_AVC_22, 20250, 1620, 4000},
    {"3", MFX_LEVEL_AVC_3, 40500, 1620, 10000},
    {"3.1", MFX_LEVEL_AVC_31, 108000, 3600, 14000},
    {"3.2", MFX_LEVEL_AVC_32, 216000, 5120, 20000},
    {"4", MFX_LEVEL_AVC_4, 245760, 8192, 20000},
    {"4.1", MFX_LEVEL_AVC_41, 245760, 8192, 50000},
    {"4.2", MFX_LEVEL_AVC_42, 522240, 8704, 50000},
    {"5", MFX_LEVEL_AVC_5, 589824, 22080, 135000},
    {"5.1", MFX_LEVEL_AVC_51, 983040, 36864, 240000},
    {"5.2", MFX_LEVEL_AVC_52, 2073600, 36864, 240000},
};

constexpr CodecInfo kAvc{MFX_CODEC_AVC, "H.264", "h264", kAvcProfiles, kAvcLevels};

constexpr uint32_t kMainBitRateFactor = 1000;

}  // namespace

const CodecInfo& AvcCodec() { return kAvc; }

const CodecInfo* FindCodec(mfxU32 id) { return id == kAvc.id ? &kAvc : nullptr; }

const CodecInfo& SettingsCodec(const SettingData& settings) {
    // H.264 is the only row so far; a record naming another codec is refused
    // by UnlistedSetting before anything is encoded, so no caller that checks
    // first ever gets H.264 for it.
    const CodecInfo* codec = FindCodec(static_cast<mfxU32>(settings.codec));
    return codec != nullptr ? *codec : kAvc;
}

const CodecProfile* FindProfile(const CodecInfo& codec, int32_t value) {
    for (const CodecProfile& profile : codec.profiles) {
        if (profile.value == value) return &profile;
    }
    return nullptr;
}

const CodecLevel* FindLevel(const CodecInfo& codec, int32_t value) {
    for (const CodecLevel& level : codec.levels) {
        if (level.value == value) return &level;
    }
    return nullptr;
}

std::string ProfileName(const CodecInfo& codec, int32_t value) {
    const CodecProfile* profile = FindProfile(codec, value);
    return profile != nullptr ? profile->name : "profile " + std::to_string(value);
}

std::string LevelName(const CodecInfo& codec, int32_t value) {
    const CodecLevel* level = FindLevel(codec, value);
    return level != nullptr ? level->name : "level " + std::to_string(value);
}

std::optional<size_t> LevelRank(const CodecInfo& codec, int32_t value) {
    for (size_t i = 0; i < codec.levels.size(); ++i) {
        if (codec.levels[i].value == value) return i;
    }
    return std::nullopt;
}

bool LevelFits(const CodecInfo& codec, const CodecLevel& level, int width, int height, uint32_t rateN,
               uint32_t rateD, int32_t maxKbps, mfxU16 profile) {
    if (width <= 0 || height <= 0 || rateN == 0 || rateD == 0) return false;
    const uint64_t widthMbs = (static_cast<uint64_t>(width) + 15) / 16;
    const uint64_t heightMbs = (static_cast<uint64_t>(height) + 15) / 16;
    const uint64_t frameMbs = widthMbs * heightMbs;
    if (frameMbs > level.maxFrameMacroblocks) return false;
    // A frame may not be a long strip either: each side is at most
    // sqrt(8 * MaxFS) macroblocks.
    const uint64_t side = 8ull * level.maxFrameMacroblocks;
    if (widthMbs * widthMbs > side || heightMbs * heightMbs > side) return false;
    // frameMbs * rateN / rateD <= MaxMBPS, without the division's rounding;
    // frameMbs is at most MaxFS here, so neither side overflows.
    if (frameMbs * rateN > static_cast<uint64_t>(level.maxMacroblocksPerSecond) * rateD) return false;
    const CodecProfile* found = FindProfile(codec, profile);
    const uint64_t factor = found != nullptr ? found->bitRateFactor : kMainBitRateFactor;
    const uint64_t kbps = maxKbps > 0 ? static_cast<uint64_t>(maxKbps) : 0;
    return kbps * kMainBitRateFactor <= level.maxKbps * factor;
}

std::optional<mfxU16> LowestLevelThatFits(const CodecInfo& codec, int width, int height, uint32_t rateN,
                                          uint32_t rateD, int32_t maxKbps, mfxU16 profile) {
    for (const CodecLevel& level : codec.levels) {
        if (LevelFits(codec, level, width, height, rateN, rateD, maxKbps, profile)) return level.value;
    }
    return std::nullopt;
}
