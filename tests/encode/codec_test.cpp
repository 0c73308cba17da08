// The codec table: names, lookups and the choice of the lowest level that
// holds a stream, against H.264's level limits.
#include "encode/codec.h"

#include <gtest/gtest.h>

#include "mfxsoft/level.h"

namespace {

constexpr mfxU16 kBaseline = MFX_PROFILE_AVC_BASELINE;
constexpr mfxU16 kMain = MFX_PROFILE_AVC_MAIN;
constexpr mfxU16 kHigh = MFX_PROFILE_AVC_HIGH;
constexpr mfxU16 kNone = 0;

TEST(Codec, LowestLevelThatFitsFollowsTheLevelLimits) {
    struct Case {
        int width, height;
        uint32_t rateN, rateD;
        int32_t kbps;
        mfxU16 profile;
        mfxU16 expected;  // 0: no level
    };
    const Case cases[] = {
        {1920, 1080, 30, 1, 20000, kMain, MFX_LEVEL_AVC_4},   // 120x68 macroblocks: 8160 of 8192
        {1920, 1080, 30000, 1001, 8000, kMain, MFX_LEVEL_AVC_4},
        {1920, 1080, 60, 1, 8000, kMain, MFX_LEVEL_AVC_42},
        {3840, 2160, 30, 1, 8000, kMain, MFX_LEVEL_AVC_51},
        {3840, 2160, 60, 1, 8000, kMain, MFX_LEVEL_AVC_52},
        {1280, 720, 60, 1, 8000, kMain, MFX_LEVEL_AVC_32},
        {8192, 4320, 120, 1, 8000, kMain, kNone},
        {0, 720, 30, 1, 8000, kMain, kNone},
        {1280, 720, 0, 1, 8000, kMain, kNone},
        {1280, 720, 30, 0, 8000, kMain, kNone},
        // QCIF at 15 frames: 99 macroblocks, 1485 a second; the bit rate
        // decides between 1, 1b and 1.1.
        {176, 144, 15, 1, 64, kBaseline, MFX_LEVEL_AVC_1},
        {176, 144, 15, 1, 65, kBaseline, MFX_LEVEL_AVC_1b},
        {176, 144, 15, 1, 128, kMain, MFX_LEVEL_AVC_1b},
        {176, 144, 15, 1, 129, kMain, MFX_LEVEL_AVC_11},
        {176, 144, 30, 1, 64, kMain, MFX_LEVEL_AVC_11},
        // Limited by the bit rate: MaxBR for Baseline and Main, 1.25 times it
        // for High.
        {1280, 720, 30, 1, 14000, kMain, MFX_LEVEL_AVC_31},
        {1280, 720, 30, 1, 20000, kMain, MFX_LEVEL_AVC_32},
        {1280, 720, 30, 1, 17500, kHigh, MFX_LEVEL_AVC_31},
        {1280, 720, 30, 1, 17501, kHigh, MFX_LEVEL_AVC_32},
        {1920, 1080, 30, 1, 20001, kMain, MFX_LEVEL_AVC_41},
        {1920, 1080, 30, 1, 25000, kHigh, MFX_LEVEL_AVC_4},
        {1920, 1080, 30, 1, 25000, 0x1234, MFX_LEVEL_AVC_41},  // an unknown profile counts as Main
        {1920, 1080, 30, 1, 240000, kMain, MFX_LEVEL_AVC_51},
        {1920, 1080, 30, 1, 240001, kMain, kNone},
        {1920, 1080, 30, 1, 300000, kHigh, MFX_LEVEL_AVC_51},
        {1920, 1080, 30, 1, -5, kMain, MFX_LEVEL_AVC_4},
        // A strip: 256 macroblocks fit 1.1's frame, but a side of 256 needs
        // the frame size of level 4 (sqrt(8 * 8192)).
        {4096, 16, 1, 1, 64, kMain, MFX_LEVEL_AVC_4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " @" << c.rateN << "/" << c.rateD << " "
                                        << c.kbps << " kbps, profile " << c.profile);
        const std::optional<mfxU16> level =
            LowestLevelThatFits(AvcCodec(), c.width, c.height, c.rateN, c.rateD, c.kbps, c.profile);
        EXPECT_EQ(level.value_or(kNone), c.expected);
        // Every level below the answer refuses, the answer itself fits.
        for (const CodecLevel& row : AvcCodec().levels) {
            const bool fits = LevelFits(AvcCodec(), row, c.width, c.height, c.rateN, c.rateD, c.kbps, c.profile);
            if (row.value == c.expected) break;
            EXPECT_FALSE(fits) << row.name;
        }
    }
}

// The soft runtime keeps its own copy of the limits for the level it picks;
// the two must agree up to 5.2, where the plug-in's table ends.
TEST(Codec, AgreesWithTheSoftRuntimesLevelChoice) {
    for (int width : {176, 352, 640, 720, 1280, 1920, 2560, 3840, 4096}) {
        for (int height : {144, 288, 480, 576, 720, 1088, 1440, 2160}) {
            for (uint32_t fps : {15u, 25u, 30u, 50u, 60u, 120u}) {
                for (int32_t kbps : {64, 2000, 14000, 20000, 50000, 135000, 240000}) {
                    for (mfxU16 profile : {kMain, kHigh}) {
                        int soft = mfxsoft::MinimalAvcLevel(width / 16, height / 16, fps, static_cast<uint32_t>(kbps),
                                                            profile == kHigh);
                        if (soft >= MFX_LEVEL_AVC_6) soft = 0;
                        EXPECT_EQ(LowestLevelThatFits(AvcCodec(), width, height, fps, 1, kbps, profile).value_or(0),
                                  soft)
                            << width << "x" << height << "@" << fps << " " << kbps << " kbps " << profile;
                    }
                }
            }
        }
    }
}

TEST(Codec, NamesAndLookups) {
    const CodecInfo& avc = AvcCodec();
    EXPECT_EQ(FindCodec(MFX_CODEC_AVC), &avc);
    EXPECT_EQ(FindCodec(MFX_CODEC_HEVC), nullptr);
    EXPECT_STREQ(avc.name, "H.264");
    EXPECT_STREQ(avc.extension, "h264");
    const std::pair<int32_t, const char*> levels[] = {
        {MFX_LEVEL_AVC_1, "1"},     {MFX_LEVEL_AVC_1b, "1b"},       {MFX_LEVEL_AVC_41, "4.1"},
        {MFX_LEVEL_AVC_52, "5.2"},  {MFX_LEVEL_AVC_6, "level 60"},  {0x10029, "level 65577"},
        {-1, "level -1"},
    };
    for (const auto& [value, name] : levels) EXPECT_EQ(LevelName(avc, value), name);
    const std::pair<int32_t, const char*> profiles[] = {
        {kBaseline, "Baseline"}, {kMain, "Main"}, {kHigh, "High"}, {0, "profile 0"}, {0x10064, "profile 65636"},
    };
    for (const auto& [value, name] : profiles) EXPECT_EQ(ProfileName(avc, value), name);
    EXPECT_STREQ(FindProfile(avc, kHigh)->key, "high");
    // 1b sorts between 1 and 1.1.
    EXPECT_LT(*LevelRank(avc, MFX_LEVEL_AVC_1), *LevelRank(avc, MFX_LEVEL_AVC_1b));
    EXPECT_LT(*LevelRank(avc, MFX_LEVEL_AVC_1b), *LevelRank(avc, MFX_LEVEL_AVC_11));
    EXPECT_FALSE(LevelRank(avc, 0).has_value());
}

}  // namespace
