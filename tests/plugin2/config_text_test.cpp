#include "plugin2/config_text.h"

#include <gtest/gtest.h>
#include <mfxvideo.h>

namespace {

TEST(ConfigText, NamesEveryChoiceAndShowsOtherValuesAsNumbers) {
    struct Case {
        int32_t profile, level, rateControl, target, max, usage, aacProfile, aacKbps;
        const char* expected;
    } cases[] = {
        {100, 41, 2, 1400, 1400, 4, 2, 64, "H.264 High 4.1 · VBR 1400/1400 kbps · TU4 · AAC HE 64 kbps"},
        {66, 9, 1, 800, 0, 1, 1, 320, "H.264 Baseline 1b · CBR 800/0 kbps · TU1 · AAC LC 320 kbps"},
        {77, 51, 2, 12000, 20000, 7, 3, 16, "H.264 Main 5.1 · VBR 12000/20000 kbps · TU7 · AAC HEv2 16 kbps"},
        // Named by the codec table, which holds the level tarvo-host can set beyond the dialog's list.
        {100, 52, 1, 50000, 0, 4, 1, 128, "H.264 High 5.2 · CBR 50000/0 kbps · TU4 · AAC LC 128 kbps"},
        // A restored record can hold anything; the line still says what it holds.
        {0, 77, 5, -1, 99999, 0, 9, 0, "H.264 profile 0 level 77 · RC 5 -1/99999 kbps · TU0 · AAC profile 9 0 kbps"},
        {77, 0, 2, 1400, 1400, 4, 2, 96, "H.264 Main auto · VBR 1400/1400 kbps · TU4 · AAC HE 96 kbps"},
    };
    for (const Case& c : cases) {
        SettingData settings = DefaultSettingData();
        settings.codecProfile = c.profile;
        settings.codecLevel = c.level;
        settings.rateControl = c.rateControl;
        settings.targetKbps = c.target;
        settings.maxKbps = c.max;
        settings.targetUsage = c.usage;
        settings.aacProfile = c.aacProfile;
        settings.aacKbps = c.aacKbps;
        EXPECT_EQ(ConfigText(settings), c.expected);
    }
}

// The depth is named where the profile leaves it open and it is not 8 bits.
TEST(ConfigText, NamesTheCodecAndADepthItsProfileDoesNotTell) {
    struct Case {
        mfxU32 codec;
        int32_t bitDepth, profile, level;
        const char* expected;  // up to the first separator
    } cases[] = {
        {MFX_CODEC_HEVC, 8, MFX_PROFILE_HEVC_MAIN, MFX_LEVEL_HEVC_41, "HEVC Main 4.1"},
        {MFX_CODEC_HEVC, 10, MFX_PROFILE_HEVC_MAIN10, MFX_LEVEL_HEVC_51, "HEVC Main10 5.1"},
        {MFX_CODEC_HEVC, 10, MFX_PROFILE_HEVC_MAIN10, MFX_LEVEL_UNKNOWN, "HEVC Main10 auto"},
        {MFX_CODEC_AV1, 8, MFX_PROFILE_AV1_MAIN, MFX_LEVEL_AV1_51, "AV1 Main 5.1"},
        {MFX_CODEC_AV1, 10, MFX_PROFILE_AV1_MAIN, MFX_LEVEL_AV1_51, "AV1 Main 10-bit 5.1"},
        {MFX_CODEC_AV1, 10, MFX_PROFILE_AV1_MAIN, MFX_LEVEL_UNKNOWN, "AV1 Main 10-bit auto"},
        // Records no dialog writes still say what they hold.
        {MFX_CODEC_HEVC, 10, MFX_PROFILE_HEVC_MAIN, MFX_LEVEL_HEVC_4, "HEVC Main 10-bit 4"},
        {MFX_CODEC_AVC, 10, MFX_PROFILE_AVC_HIGH, MFX_LEVEL_AVC_4, "H.264 High 10-bit 4"},
        {MFX_CODEC_AV1, 12, 7, MFX_LEVEL_AV1_2, "AV1 profile 7 12-bit 2.0"},
    };
    for (const Case& c : cases) {
        SettingData settings = DefaultSettingData();
        settings.codec = static_cast<int32_t>(c.codec);
        settings.bitDepth = c.bitDepth;
        settings.codecProfile = c.profile;
        settings.codecLevel = c.level;
        const std::string text = ConfigText(settings);
        EXPECT_EQ(text.substr(0, text.find(" \xC2\xB7 ")), c.expected);
    }
}

// Each mode with the values it reads: CBR and VBR as they always read, the
// QPs, the quality, and QVBR's quality with its rates.
TEST(ConfigText, NamesTheModeWithItsValues) {
    struct Case {
        int32_t mode;
        const char* expected;  // between the first and second separator
    } cases[] = {
        {MFX_RATECONTROL_CBR, "CBR 4000/6000 kbps"},     {MFX_RATECONTROL_VBR, "VBR 4000/6000 kbps"},
        {MFX_RATECONTROL_CQP, "CQP 20/25/30"},           {MFX_RATECONTROL_AVBR, "AVBR 4000 kbps"},
        {MFX_RATECONTROL_LA, "LA 4000/6000 kbps"},       {MFX_RATECONTROL_ICQ, "ICQ 23"},
        {MFX_RATECONTROL_LA_ICQ, "LA_ICQ 23"},           {MFX_RATECONTROL_QVBR, "QVBR 23 4000/6000 kbps"},
        {6, "RC 6 4000/6000 kbps"},
    };
    for (const Case& c : cases) {
        SettingData settings = DefaultSettingData();
        settings.rateControl = c.mode;
        settings.targetKbps = 4000;
        settings.maxKbps = 6000;
        settings.qpI = 20, settings.qpP = 25, settings.qpB = 30;
        settings.quality = 23;
        const std::string text = ConfigText(settings);
        const size_t first = text.find(" \xC2\xB7 ") + 4;
        EXPECT_EQ(text.substr(first, text.find(" \xC2\xB7 ", first) - first), c.expected);
    }
}

// Thousands never get separators, whatever the global locale says.
TEST(ConfigText, IgnoresTheGlobalLocale) {
    struct Grouping : std::numpunct<char> {
        char do_thousands_sep() const override { return '.'; }
        std::string do_grouping() const override { return "\3"; }
    };
    const std::locale previous = std::locale::global(std::locale(std::locale::classic(), new Grouping));
    SettingData settings = DefaultSettingData();
    settings.targetKbps = 12000;
    EXPECT_EQ(ConfigText(settings), "H.264 Main 4 · VBR 12000/1400 kbps · TU4 · AAC HE 96 kbps");
    std::locale::global(previous);
}

}  // namespace
