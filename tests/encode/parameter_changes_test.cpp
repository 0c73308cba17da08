#include "encode/parameter_changes.h"

#include <gtest/gtest.h>

namespace {

mfxInfoMFX Asked() {
    mfxInfoMFX mfx{};
    mfx.CodecId = MFX_CODEC_AVC;
    mfx.CodecProfile = MFX_PROFILE_AVC_HIGH;
    mfx.CodecLevel = MFX_LEVEL_AVC_4;
    mfx.TargetUsage = 4;
    mfx.RateControlMethod = MFX_RATECONTROL_VBR;
    mfx.TargetKbps = 1400;
    mfx.MaxKbps = 2000;
    mfx.GopRefDist = 0;
    mfx.FrameInfo.FourCC = MFX_FOURCC_NV12;
    return mfx;
}

TEST(ParameterChanges, NamesWhatTheRuntimeSettledOtherwise) {
    struct Case {
        const char* name;
        void (*change)(mfxInfoMFX& asked, mfxInfoMFX& settled);
        std::vector<std::string> expected;
    } cases[] = {
        {"nothing", [](mfxInfoMFX&, mfxInfoMFX&) {}, {}},
        {"level raised",
         [](mfxInfoMFX&, mfxInfoMFX& s) { s.CodecLevel = MFX_LEVEL_AVC_41; },
         {"level: asked 4 (40), settled 4.1 (41)"}},
        {"the runtime's own choices are no change",
         [](mfxInfoMFX& a, mfxInfoMFX& s) {
             a.CodecLevel = 0, s.CodecLevel = MFX_LEVEL_AVC_51;
             a.TargetUsage = 0, s.TargetUsage = 4;
             s.GopPicSize = 256, s.GopRefDist = 3;
         },
         {}},
        {"bit rates through the multiplier",
         [](mfxInfoMFX&, mfxInfoMFX& s) { s.BRCParamMultiplier = 2, s.TargetKbps = 700, s.MaxKbps = 1500; },
         {"max kbps: asked 2000, settled 3000"}},
        {"another mode: its fields are not compared",
         [](mfxInfoMFX&, mfxInfoMFX& s) { s.RateControlMethod = MFX_RATECONTROL_CQP, s.QPP = 30; },
         {"rate control: asked VBR, settled CQP"}},
        {"CBR reads no maximum",
         [](mfxInfoMFX& a, mfxInfoMFX& s) {
             a.RateControlMethod = s.RateControlMethod = MFX_RATECONTROL_CBR;
             s.MaxKbps = 1400;
         },
         {}},
        {"QPs of CQP",
         [](mfxInfoMFX& a, mfxInfoMFX& s) {
             a.RateControlMethod = s.RateControlMethod = MFX_RATECONTROL_CQP;
             a.QPI = a.QPP = a.QPB = 20;
             s.QPI = s.QPB = 20, s.QPP = 51;
         },
         {"QP P: asked 20, settled 51"}},
        {"profile, depth and IDR interval in the log's order",
         [](mfxInfoMFX&, mfxInfoMFX& s) {
             s.CodecProfile = MFX_PROFILE_AVC_MAIN;
             s.FrameInfo.FourCC = MFX_FOURCC_P010;
             s.IdrInterval = 1;
         },
         {"bit depth: asked 8, settled 10", "profile: asked High (100), settled Main (77)",
          "IDR interval: asked 0, settled 1"}},
    };
    for (const Case& c : cases) {
        mfxInfoMFX asked = Asked();
        mfxInfoMFX settled = Asked();
        c.change(asked, settled);
        EXPECT_EQ(ChangedParameters(asked, settled), c.expected) << c.name;
    }
}

}  // namespace
