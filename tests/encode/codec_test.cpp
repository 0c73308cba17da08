// The codec table: names, lookups and the lowest level that holds a stream,
// against the level limits of H.264, H.265 (main tier) and AV1 (main tier).
#include "encode/codec.h"

#include <gtest/gtest.h>

#include "core/setting_data.h"

namespace {

constexpr mfxU16 kMain = MFX_PROFILE_AVC_MAIN, kHigh = MFX_PROFILE_AVC_HIGH;

TEST(Codec, LowestLevelThatFitsFollowsTheLevelLimits) {
    struct Case {
        int width, height;
        uint32_t rateN, rateD;
        int32_t kbps;
        mfxU16 profile, expected;  // expected 0: no level
    } cases[] = {
        {1920, 1080, 30, 1, 20000, kMain, MFX_LEVEL_AVC_4},  // 120x68 macroblocks: 8160 of 8192
        {1920, 1080, 30000, 1001, 8000, kMain, MFX_LEVEL_AVC_4},
        {1920, 1080, 60, 1, 8000, kMain, MFX_LEVEL_AVC_42},
        {3840, 2160, 30, 1, 8000, kMain, MFX_LEVEL_AVC_51},
        {3840, 2160, 60, 1, 8000, kMain, MFX_LEVEL_AVC_52},
        {1280, 720, 60, 1, 8000, kMain, MFX_LEVEL_AVC_32},
        {8192, 4320, 120, 1, 8000, kMain, 0},
        {0, 720, 30, 1, 8000, kMain, 0},
        {1280, 720, 30, 0, 8000, kMain, 0},
        // QCIF at 15 frames is 1485 macroblocks a second: the bit rate
        // chooses 1, 1b or 1.1.
        {176, 144, 15, 1, 64, kMain, MFX_LEVEL_AVC_1},
        {176, 144, 15, 1, 65, kMain, MFX_LEVEL_AVC_1b},
        {176, 144, 15, 1, 129, kMain, MFX_LEVEL_AVC_11},
        {176, 144, 30, 1, 64, kMain, MFX_LEVEL_AVC_11},
        // Bit rates: MaxBR for Main, 1.25 times it for High.
        {1280, 720, 30, 1, 14000, kMain, MFX_LEVEL_AVC_31},
        {1280, 720, 30, 1, 20000, kMain, MFX_LEVEL_AVC_32},
        {1280, 720, 30, 1, 17500, kHigh, MFX_LEVEL_AVC_31},
        {1280, 720, 30, 1, 17501, kHigh, MFX_LEVEL_AVC_32},
        {1920, 1080, 30, 1, 240001, kMain, 0},
        {1920, 1080, 30, 1, 300000, kHigh, MFX_LEVEL_AVC_51},
        // A strip of 256 macroblocks: a side of 256 needs level 4's frame
        // size (sqrt(8 * 8192)).
        {4096, 16, 1, 1, 64, kMain, MFX_LEVEL_AVC_4},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(LowestLevelThatFits(AvcCodec(), c.width, c.height, c.rateN, c.rateD, c.kbps, c.profile).value_or(0),
                  c.expected)
            << c.width << "x" << c.height << " @" << c.rateN << "/" << c.rateD << " " << c.kbps << " kbps";
    }
}

TEST(Codec, HevcAndAv1LevelsFollowTheirLimits) {
    struct Case {
        const CodecInfo& codec;
        int width, height;
        uint32_t rateN, rateD;
        int32_t kbps;
        mfxU16 expected;  // 0: no level
    } cases[] = {
        // H.265: 1920x1088 is 2088960 of 4.x's 2228224 samples; 30 fps is
        // 62.7 M samples/s of 4's 66.8 M; 12000 kbps is 4's MaxBR.
        {HevcCodec(), 1920, 1080, 30, 1, 12000, MFX_LEVEL_HEVC_4},
        {HevcCodec(), 1920, 1080, 30, 1, 12001, MFX_LEVEL_HEVC_41},
        {HevcCodec(), 1920, 1080, 60, 1, 8000, MFX_LEVEL_HEVC_41},
        {HevcCodec(), 3840, 2160, 60, 1, 40000, MFX_LEVEL_HEVC_51},
        {HevcCodec(), 7680, 4320, 30, 1, 40000, MFX_LEVEL_HEVC_6},
        // A side beyond sqrt(8 * MaxLumaPs): 4224 is over level 4's 4222.
        {HevcCodec(), 4224, 16, 1, 1, 10, MFX_LEVEL_HEVC_5},
        {HevcCodec(), 16384, 16, 1, 1, 10, MFX_LEVEL_HEVC_6},
        {HevcCodec(), 1920, 1080, 30, 1, 240001, 0},
        // AV1: MaxHSize / MaxVSize are their own limits; MainMbps.
        {Av1Codec(), 1920, 1080, 30, 1, 12000, MFX_LEVEL_AV1_4},
        {Av1Codec(), 1920, 1080, 60, 1, 20000, MFX_LEVEL_AV1_41},
        {Av1Codec(), 2048, 1152, 30, 1, 1500, MFX_LEVEL_AV1_4},  // 2359296 samples: over 3.1's picture size
        {Av1Codec(), 640, 360, 30, 1, 1500, MFX_LEVEL_AV1_21},
        {Av1Codec(), 960, 540, 30, 1, 1500, MFX_LEVEL_AV1_3},
        {Av1Codec(), 1280, 720, 30, 1, 1500, MFX_LEVEL_AV1_31},
        {Av1Codec(), 426, 240, 30, 1, 1500, MFX_LEVEL_AV1_2},
        {Av1Codec(), 6160, 64, 1, 1, 10, MFX_LEVEL_AV1_5},  // wider than 4.x's 6144
        {Av1Codec(), 3840, 2160, 30, 1, 160001, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(LowestLevelThatFits(c.codec, c.width, c.height, c.rateN, c.rateD, c.kbps, 1).value_or(0), c.expected)
            << c.codec.name << " " << c.width << "x" << c.height << " @" << c.rateN << "/" << c.rateD << " " << c.kbps;
    }
}

TEST(Codec, FittingARecordToItsCodec) {
    struct Case {
        mfxU32 codec;
        int32_t bitDepth, profile, level;
        int32_t wantDepth, wantProfile, wantLevel;
    } cases[] = {
        // H.264's Main 4.1 becomes HEVC Main 4.1 (the same SDK value), AV1 Main 4.1.
        {MFX_CODEC_HEVC, 8, MFX_PROFILE_AVC_MAIN, MFX_LEVEL_AVC_41, 8, MFX_PROFILE_HEVC_MAIN, MFX_LEVEL_HEVC_41},
        {MFX_CODEC_AV1, 8, MFX_PROFILE_AVC_MAIN, MFX_LEVEL_AVC_41, 8, MFX_PROFILE_AV1_MAIN, MFX_LEVEL_AV1_41},
        // 10 bits need Main10 in HEVC; AV1's Main takes them.
        {MFX_CODEC_HEVC, 10, MFX_PROFILE_HEVC_MAIN, MFX_LEVEL_HEVC_51, 10, MFX_PROFILE_HEVC_MAIN10, MFX_LEVEL_HEVC_51},
        {MFX_CODEC_HEVC, 8, MFX_PROFILE_HEVC_MAIN10, 0, 8, MFX_PROFILE_HEVC_MAIN, 0},
        {MFX_CODEC_AV1, 10, MFX_PROFILE_AV1_MAIN, MFX_LEVEL_AV1_5, 10, MFX_PROFILE_AV1_MAIN, MFX_LEVEL_AV1_5},
        // Back to H.264: 8 bits, High; HEVC's level 6.2 is none of H.264's.
        {MFX_CODEC_AVC, 10, MFX_PROFILE_HEVC_MAIN10, MFX_LEVEL_HEVC_62, 8, MFX_PROFILE_AVC_BASELINE, 0},
        // Level 1b (9) is H.264's only; 20 is a level of all three.
        {MFX_CODEC_AV1, 8, MFX_PROFILE_AVC_HIGH, MFX_LEVEL_AVC_1b, 8, MFX_PROFILE_AV1_MAIN, 0},
        {MFX_CODEC_AVC, 8, MFX_PROFILE_AVC_HIGH, MFX_LEVEL_AV1_2, 8, MFX_PROFILE_AVC_HIGH, MFX_LEVEL_AVC_2},
        // A codec no row holds is left alone.
        {MFX_CODEC_VP9, 12, 5, 99, 12, 5, 99},
    };
    for (const Case& c : cases) {
        SettingData data = DefaultSettingData();
        data.codec = static_cast<int32_t>(c.codec);
        data.bitDepth = c.bitDepth;
        data.codecProfile = c.profile;
        data.codecLevel = c.level;
        FitSettingsToCodec(data);
        EXPECT_EQ(data.bitDepth, c.wantDepth) << c.codec << " " << c.profile;
        EXPECT_EQ(data.codecProfile, c.wantProfile) << c.codec << " " << c.profile;
        EXPECT_EQ(data.codecLevel, c.wantLevel) << c.codec << " " << c.level;
    }
    SettingData data = DefaultSettingData();
    data.codec = MFX_CODEC_HEVC;
    ChooseProfile(data, HevcCodec().profiles[1]);
    EXPECT_EQ(data.bitDepth, 10);
    ChooseProfile(data, HevcCodec().profiles[0]);
    EXPECT_EQ(data.bitDepth, 8);
}

TEST(Codec, NamesAndLookups) {
    const CodecInfo& avc = AvcCodec();
    EXPECT_EQ(FindCodec(MFX_CODEC_AVC), &avc);
    EXPECT_EQ(FindCodec(MFX_CODEC_HEVC), &HevcCodec());
    EXPECT_EQ(FindCodec(MFX_CODEC_AV1), &Av1Codec());
    EXPECT_EQ(FindCodec(MFX_CODEC_VP9), nullptr);
    EXPECT_STREQ(HevcCodec().extension, "hevc");
    EXPECT_STREQ(Av1Codec().extension, "obu");
    EXPECT_EQ(LevelName(avc, MFX_LEVEL_UNKNOWN), "auto");
    EXPECT_EQ(LevelName(Av1Codec(), MFX_LEVEL_AV1_22), "level 22");  // named by the SDK, defined by nobody
    EXPECT_STREQ(avc.extension, "h264");
    for (const auto& [value, name] : {std::pair<int32_t, const char*>{MFX_LEVEL_AVC_1b, "1b"}, {MFX_LEVEL_AVC_41, "4.1"},
                                      {MFX_LEVEL_AVC_6, "level 60"}, {0x10029, "level 65577"}}) {
        EXPECT_EQ(LevelName(avc, value), name);
    }
    EXPECT_EQ(ProfileName(avc, kHigh), "High");
    EXPECT_EQ(ProfileName(avc, 0x10064), "profile 65636");
    // 1b sorts between 1 and 1.1.
    EXPECT_LT(*LevelRank(avc, MFX_LEVEL_AVC_1), *LevelRank(avc, MFX_LEVEL_AVC_1b));
    EXPECT_LT(*LevelRank(avc, MFX_LEVEL_AVC_1b), *LevelRank(avc, MFX_LEVEL_AVC_11));
}

}  // namespace
