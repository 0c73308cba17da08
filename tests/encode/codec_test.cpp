// The codec table: names, lookups and the lowest level that holds a stream,
// against H.264's level limits.
#include "encode/codec.h"

#include <gtest/gtest.h>

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

TEST(Codec, NamesAndLookups) {
    const CodecInfo& avc = AvcCodec();
    EXPECT_EQ(FindCodec(MFX_CODEC_AVC), &avc);
    EXPECT_EQ(FindCodec(MFX_CODEC_HEVC), nullptr);
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
