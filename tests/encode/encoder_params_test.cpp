// What the log and the refusals say of the encoder's parameters: the
// description reads only the fields of the mode, and a change counts only
// where the user set the field.
#include <gtest/gtest.h>

#include "core/setting_data.h"
#include "encode/encoder_params.h"
#include "encode/setup_cause.h"

namespace {

SettingData Settings(int32_t mode) {
    SettingData settings = DefaultSettingData();
    settings.rateControl = mode;
    settings.targetKbps = 900;
    settings.maxKbps = 1200;
    settings.qpI = 22;
    settings.qpP = 24;
    settings.qpB = 26;
    settings.quality = 23;
    settings.lookAheadDepth = 40;
    settings.avbrAccuracy = 10;
    settings.avbrConvergence = 5;
    return settings;
}

TEST(DescribeEncoder, ShowsTheFieldsOfTheMode) {
    struct Case {
        int32_t mode;
        const char* rate;
    };
    const Case cases[] = {
        {MFX_RATECONTROL_CBR, "rate control CBR (1), target kbps 900, GOP"},
        {MFX_RATECONTROL_VBR, "rate control VBR (2), target kbps 900, max kbps 1200, GOP"},
        {MFX_RATECONTROL_CQP, "rate control CQP (3), QP I 22, QP P 24, QP B 26, GOP"},
        {MFX_RATECONTROL_AVBR, "rate control AVBR (4), target kbps 900, accuracy 10, convergence 5, GOP"},
        {MFX_RATECONTROL_LA, "rate control LA (8), target kbps 900, max kbps 1200, look-ahead 40, GOP"},
        {MFX_RATECONTROL_ICQ, "rate control ICQ (9), quality 23, GOP"},
        {MFX_RATECONTROL_LA_ICQ, "rate control LA_ICQ (11), quality 23, look-ahead 40, GOP"},
        {MFX_RATECONTROL_QVBR, "rate control QVBR (14), quality 23, target kbps 900, max kbps 1200, GOP"},
    };
    for (const Case& c : cases) {
        const std::string text = DescribeEncoder(AskedEncoderParams(Settings(c.mode)));
        EXPECT_NE(text.find(c.rate), std::string::npos) << text;
        EXPECT_EQ(text.rfind("H.264 8-bit, profile ", 0), 0u) << text;
    }
}

TEST(EncoderChanges, CountsOnlyWhatTheUserSet) {
    struct Case {
        const char* what;
        void (*settle)(EncoderParams&);
        std::vector<std::string> changes;
    };
    const Case cases[] = {
        {"nothing", [](EncoderParams&) {}, {}},
        {"mode", [](EncoderParams& p) { p.mfx.RateControlMethod = MFX_RATECONTROL_VBR; }, {"rate control ICQ to VBR"}},
        {"quality", [](EncoderParams& p) { p.mfx.ICQQuality = 30; }, {"quality 23 to 30"}},
        // Level, GOP and B distance were asked as 0: the runtime's to pick.
        {"runtime's choices",
         [](EncoderParams& p) {
             p.mfx.CodecLevel = MFX_LEVEL_AVC_41;
             p.mfx.GopPicSize = 256;
             p.mfx.GopRefDist = 3;
         },
         {}},
        {"profile and usage",
         [](EncoderParams& p) {
             p.mfx.CodecProfile = MFX_PROFILE_AVC_HIGH;
             p.mfx.TargetUsage = 7;
         },
         {"profile Main to High", "target usage 4 to 7"}},
    };
    SettingData settings = Settings(MFX_RATECONTROL_ICQ);
    settings.codecLevel = 0;
    for (const Case& c : cases) {
        const EncoderParams asked = AskedEncoderParams(settings);
        EncoderParams settled = asked;
        c.settle(settled);
        EXPECT_EQ(EncoderChanges(asked, settled), c.changes) << c.what;
    }
}

TEST(ChangeRefusalText, NamesTheModeOrTheChanges) {
    SettingData settings = Settings(MFX_RATECONTROL_AVBR);
    settings.codec = MFX_CODEC_HEVC;
    EXPECT_EQ(ChangeRefusalText(settings, {"rate control AVBR to VBR"}),
              "AVBR is not supported for HEVC by this runtime; it would encode VBR");
    EXPECT_EQ(ChangeRefusalText(settings, {"GOP 30 to 32", "B distance 4 to 3"}),
              "The runtime would change GOP 30 to 32, B distance 4 to 3");
}

}  // namespace
