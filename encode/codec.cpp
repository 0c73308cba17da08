#include "encode/codec.h"

#include "core/setting_data.h"

namespace {

constexpr uint32_t kFactor = 1000;  // cpbBrVclFactor of every profile but H.264's High

constexpr uint32_t IntegerSqrt(uint64_t n) {
    uint64_t root = 0;
    while ((root + 1) * (root + 1) <= n) ++root;
    return static_cast<uint32_t>(root);
}

// H.264 counts macroblocks: MaxMBPS, MaxFS and MaxBR as its level table has
// them, each side at most sqrt(8 * MaxFS) macroblocks.
constexpr CodecLevel AvcLevel(const char* name, mfxU16 value, uint32_t maxMbps, uint32_t maxFs, uint32_t maxBr) {
    const uint32_t side = IntegerSqrt(8ull * maxFs) * 16;
    return {name, value, maxMbps * 256, maxFs * 256, side, side, maxBr};
}

// H.265 main tier: MaxLumaPs, MaxLumaSr and MaxBR, each side at most
// sqrt(8 * MaxLumaPs).
constexpr CodecLevel HevcLevel(const char* name, mfxU16 value, uint32_t maxLumaPs, uint32_t maxLumaSr,
                               uint32_t maxBr) {
    const uint32_t side = IntegerSqrt(8ull * maxLumaPs);
    return {name, value, maxLumaSr, maxLumaPs, side, side, maxBr};
}

constexpr CodecProfile kAvcProfiles[] = {
    {"Baseline", "baseline", MFX_PROFILE_AVC_BASELINE, kFactor, 8},
    {"Main", "main", MFX_PROFILE_AVC_MAIN, kFactor, 8},
    {"High", "high", MFX_PROFILE_AVC_HIGH, 1250, 8},
};

// Levels 6 to 6.2 are left out: neither the dialog nor tarvo-host's settings
// have ever offered them.
constexpr CodecLevel kAvcLevels[] = {
    AvcLevel("1", MFX_LEVEL_AVC_1, 1485, 99, 64),
    AvcLevel("1b", MFX_LEVEL_AVC_1b, 1485, 99, 128),
    AvcLevel("1.1", MFX_LEVEL_AVC_11, 3000, 396, 192),
    AvcLevel("1.2", MFX_LEVEL_AVC_12, 6000, 396, 384),
    AvcLevel("1.3", MFX_LEVEL_AVC_13, 11880, 396, 768),
    AvcLevel("2", MFX_LEVEL_AVC_2, 11880, 396, 2000),
    AvcLevel("2.1", MFX_LEVEL_AVC_21, 19800, 792, 4000),
    AvcLevel("2.2", MFX_LEVEL_AVC_22, 20250, 1620, 4000),
    AvcLevel("3", MFX_LEVEL_AVC_3, 40500, 1620, 10000),
    AvcLevel("3.1", MFX_LEVEL_AVC_31, 108000, 3600, 14000),
    AvcLevel("3.2", MFX_LEVEL_AVC_32, 216000, 5120, 20000),
    AvcLevel("4", MFX_LEVEL_AVC_4, 245760, 8192, 20000),
    AvcLevel("4.1", MFX_LEVEL_AVC_41, 245760, 8192, 50000),
    AvcLevel("4.2", MFX_LEVEL_AVC_42, 522240, 8704, 50000),
    AvcLevel("5", MFX_LEVEL_AVC_5, 589824, 22080, 135000),
    AvcLevel("5.1", MFX_LEVEL_AVC_51, 983040, 36864, 240000),
    AvcLevel("5.2", MFX_LEVEL_AVC_52, 2073600, 36864, 240000),
};

constexpr CodecProfile kHevcProfiles[] = {
    {"Main", "main", MFX_PROFILE_HEVC_MAIN, kFactor, 8},
    {"Main10", "main10", MFX_PROFILE_HEVC_MAIN10, kFactor, 10},
};

constexpr CodecLevel kHevcLevels[] = {
    HevcLevel("1", MFX_LEVEL_HEVC_1, 36864, 552960, 128),
    HevcLevel("2", MFX_LEVEL_HEVC_2, 122880, 3686400, 1500),
    HevcLevel("2.1", MFX_LEVEL_HEVC_21, 245760, 7372800, 3000),
    HevcLevel("3", MFX_LEVEL_HEVC_3, 552960, 16588800, 6000),
    HevcLevel("3.1", MFX_LEVEL_HEVC_31, 983040, 33177600, 10000),
    HevcLevel("4", MFX_LEVEL_HEVC_4, 2228224, 66846720, 12000),
    HevcLevel("4.1", MFX_LEVEL_HEVC_41, 2228224, 133693440, 20000),
    HevcLevel("5", MFX_LEVEL_HEVC_5, 8912896, 267386880, 25000),
    HevcLevel("5.1", MFX_LEVEL_HEVC_51, 8912896, 534773760, 40000),
    HevcLevel("5.2", MFX_LEVEL_HEVC_52, 8912896, 1069547520, 60000),
    HevcLevel("6", MFX_LEVEL_HEVC_6, 35651584, 1069547520, 60000),
    HevcLevel("6.1", MFX_LEVEL_HEVC_61, 35651584, 2139095040, 120000),
    HevcLevel("6.2", MFX_LEVEL_HEVC_62, 35651584, 4278190080u, 240000),
};

constexpr CodecProfile kAv1Profiles[] = {
    {"Main", "main", MFX_PROFILE_AV1_MAIN, kFactor, 0},
};

// The fourteen levels AV1 defines (2.2, 2.3, 3.2, 3.3, 4.2 and 4.3 have no
// limits): MaxDisplayRate, MaxPicSize, MaxHSize, MaxVSize, MainMbps.
constexpr CodecLevel kAv1Levels[] = {
    {"2.0", MFX_LEVEL_AV1_2, 4423680, 147456, 2048, 1152, 1500},
    {"2.1", MFX_LEVEL_AV1_21, 8363520, 278784, 2816, 1584, 3000},
    {"3.0", MFX_LEVEL_AV1_3, 19975680, 665856, 4352, 2448, 6000},
    {"3.1", MFX_LEVEL_AV1_31, 31950720, 1065024, 5504, 3096, 10000},
    {"4.0", MFX_LEVEL_AV1_4, 70778880, 2359296, 6144, 3456, 12000},
    {"4.1", MFX_LEVEL_AV1_41, 141557760, 2359296, 6144, 3456, 20000},
    {"5.0", MFX_LEVEL_AV1_5, 267386880, 8912896, 8192, 4352, 30000},
    {"5.1", MFX_LEVEL_AV1_51, 534773760, 8912896, 8192, 4352, 40000},
    {"5.2", MFX_LEVEL_AV1_52, 1069547520, 8912896, 8192, 4352, 60000},
    {"5.3", MFX_LEVEL_AV1_53, 1069547520, 8912896, 8192, 4352, 60000},
    {"6.0", MFX_LEVEL_AV1_6, 1069547520, 35651584, 16384, 8704, 60000},
    {"6.1", MFX_LEVEL_AV1_61, 2139095040, 35651584, 16384, 8704, 100000},
    {"6.2", MFX_LEVEL_AV1_62, 4278190080u, 35651584, 16384, 8704, 160000},
    {"6.3", MFX_LEVEL_AV1_63, 4278190080u, 35651584, 16384, 8704, 160000},
};

// The modes as Intel's runtimes take them (mfxsoft/README.md, "Rate-control
// modes"): H.264 every one (the look-ahead modes and AVBR through the Media
// SDK runtime's and the older GPUs' VME); HEVC's encoders turn AVBR into VBR
// and have no look-ahead; AV1's have no QVBR either.
constexpr mfxU16 kAvcModes[] = {MFX_RATECONTROL_CBR, MFX_RATECONTROL_VBR, MFX_RATECONTROL_CQP,
                                MFX_RATECONTROL_AVBR, MFX_RATECONTROL_LA, MFX_RATECONTROL_ICQ,
                                MFX_RATECONTROL_LA_ICQ, MFX_RATECONTROL_QVBR};
constexpr mfxU16 kHevcModes[] = {MFX_RATECONTROL_CBR, MFX_RATECONTROL_VBR, MFX_RATECONTROL_CQP, MFX_RATECONTROL_ICQ,
                                 MFX_RATECONTROL_QVBR};
constexpr mfxU16 kAv1Modes[] = {MFX_RATECONTROL_CBR, MFX_RATECONTROL_VBR, MFX_RATECONTROL_CQP, MFX_RATECONTROL_ICQ};

constexpr CodecInfo kAvc{MFX_CODEC_AVC, "H.264", "h264", "h264", false, "", kAvcProfiles, kAvcLevels, kAvcModes};
constexpr CodecInfo kHevc{MFX_CODEC_HEVC,
                          "HEVC",
                          "hevc",
                          "hevc",
                          true,
                          "HEVC needs an Intel GPU of the 6th Core generation (Skylake) or newer, 10-bit HEVC the 7th "
                          "(Kaby Lake) or newer",
                          kHevcProfiles,
                          kHevcLevels,
                          kHevcModes};
constexpr CodecInfo kAv1{MFX_CODEC_AV1,
                         "AV1",
                         "av1",
                         "obu",
                         true,
                         "AV1 needs an Intel Arc, Core Ultra (Meteor Lake) or newer GPU and its VPL GPU runtime",
                         kAv1Profiles,
                         kAv1Levels,
                         kAv1Modes};

constexpr const CodecInfo* kCodecs[] = {&kAvc, &kHevc, &kAv1};

uint64_t Align16(int side) { return (static_cast<uint64_t>(side) + 15) & ~uint64_t{15}; }

}  // namespace

const CodecInfo& AvcCodec() { return kAvc; }
const CodecInfo& HevcCodec() { return kHevc; }
const CodecInfo& Av1Codec() { return kAv1; }

std::span<const CodecInfo* const> Codecs() { return kCodecs; }

const CodecInfo* FindCodec(mfxU32 id) {
    for (const CodecInfo* codec : kCodecs) {
        if (codec->id == id) return codec;
    }
    return nullptr;
}

const CodecInfo& SettingsCodec(const SettingData& settings) {
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

bool CodecTakesRateControl(const CodecInfo& codec, int32_t rateControl) {
    for (mfxU16 mode : codec.rateControls) {
        if (mode == rateControl) return true;
    }
    return false;
}

bool ProfileTakes(const CodecProfile& profile, int32_t bitDepth) {
    return profile.bitDepth == 0 || profile.bitDepth == bitDepth;
}

const CodecProfile& ProfileForBitDepth(const CodecInfo& codec, int32_t bitDepth) {
    for (const CodecProfile& profile : codec.profiles) {
        if (ProfileTakes(profile, bitDepth)) return profile;
    }
    return codec.profiles.front();
}

void FitSettingsToCodec(SettingData& settings) {
    const CodecInfo* codec = FindCodec(static_cast<mfxU32>(settings.codec));
    if (codec == nullptr) return;
    if (settings.bitDepth != 8 && !(settings.bitDepth == 10 && codec->tenBit)) settings.bitDepth = 8;
    const CodecProfile* profile = FindProfile(*codec, settings.codecProfile);
    if (profile == nullptr || !ProfileTakes(*profile, settings.bitDepth)) {
        settings.codecProfile = ProfileForBitDepth(*codec, settings.bitDepth).value;
    }
    if (FindLevel(*codec, settings.codecLevel) == nullptr) settings.codecLevel = MFX_LEVEL_UNKNOWN;
}

void ChooseProfile(SettingData& settings, const CodecProfile& profile) {
    settings.codecProfile = profile.value;
    if (profile.bitDepth != 0) settings.bitDepth = profile.bitDepth;
}

std::string ProfileName(const CodecInfo& codec, int32_t value) {
    const CodecProfile* profile = FindProfile(codec, value);
    return profile != nullptr ? profile->name : "profile " + std::to_string(value);
}

std::string LevelName(const CodecInfo& codec, int32_t value) {
    if (value == MFX_LEVEL_UNKNOWN) return "auto";
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
    const uint64_t alignedWidth = Align16(width);
    const uint64_t alignedHeight = Align16(height);
    if (alignedWidth > level.maxWidth || alignedHeight > level.maxHeight) return false;
    const uint64_t samples = alignedWidth * alignedHeight;
    if (samples > level.maxPictureSamples) return false;
    // samples * rateN / rateD <= the rate limit, without the division's
    // rounding: samples is below 2^26 here and the limit and rateD are 32-bit
    // values, so neither product overflows.
    if (samples * rateN > static_cast<uint64_t>(level.maxSamplesPerSecond) * rateD) return false;
    const CodecProfile* found = FindProfile(codec, profile);
    const uint64_t factor = found != nullptr ? found->bitRateFactor : kFactor;
    const uint64_t kbps = maxKbps > 0 ? static_cast<uint64_t>(maxKbps) : 0;
    return kbps * kFactor <= level.maxKbps * factor;
}

std::optional<mfxU16> LowestLevelThatFits(const CodecInfo& codec, int width, int height, uint32_t rateN,
                                          uint32_t rateD, int32_t maxKbps, mfxU16 profile) {
    for (const CodecLevel& level : codec.levels) {
        if (LevelFits(codec, level, width, height, rateN, rateD, maxKbps, profile)) return level.value;
    }
    return std::nullopt;
}
