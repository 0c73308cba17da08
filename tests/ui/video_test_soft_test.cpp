// The TestVideo button against the soft runtime, its answers steered with
// the runtime's fault knobs. The three SDK entries are wrapped at link time
// (--wrap) to count the calls the test makes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <mfxvideo.h>

#include "fake_controls.h"
#include "ui/dialog_setting.h"

namespace {
int initCalls = 0;
int encoderInitCalls = 0;
int closeCalls = 0;
}  // namespace

extern "C" {
mfxStatus __real_MFXInit(mfxIMPL impl, mfxVersion* version, mfxSession* session);
mfxStatus __real_MFXVideoENCODE_Init(mfxSession session, mfxVideoParam* param);
mfxStatus __real_MFXClose(mfxSession session);

mfxStatus __wrap_MFXInit(mfxIMPL impl, mfxVersion* version, mfxSession* session) {
    ++initCalls;
    return __real_MFXInit(impl, version, session);
}
mfxStatus __wrap_MFXVideoENCODE_Init(mfxSession session, mfxVideoParam* param) {
    ++encoderInitCalls;
    return __real_MFXVideoENCODE_Init(session, param);
}
mfxStatus __wrap_MFXClose(mfxSession session) {
    ++closeCalls;
    return __real_MFXClose(session);
}
}

namespace {

using namespace dialog_id;

class SoftVideoTest : public testing::Test {
protected:
    void SetUp() override {
        unsetenv("MFXSOFT_FAULTS");
        unsetenv("MFXSOFT_ADAPTERS");
        initCalls = encoderInitCalls = closeCalls = 0;
        dialog.Attach(&controls);
        dialog.OnInitDialog();
    }
    void TearDown() override {
        dialog.Attach(nullptr);
        unsetenv("MFXSOFT_FAULTS");
        unsetenv("MFXSOFT_ADAPTERS");
    }

    // Presses TestVideo once and returns the one message it showed.
    std::string Press() {
        size_t before = controls.messages.size();
        EXPECT_TRUE(dialog.OnCommand(kTestVideo));
        EXPECT_EQ(controls.messages.size(), before + 1);
        EXPECT_FALSE(controls.endCode.has_value());
        return controls.messages.empty() ? std::string() : controls.messages.back();
    }

    std::string PressWithFaults(const char* faults) {
        setenv("MFXSOFT_FAULTS", faults, 1);
        return Press();
    }

    FakeControls controls;
    CDialogSetting dialog;
};

TEST_F(SoftVideoTest, DefaultChoicesSucceed) {
    EXPECT_EQ(Press(), "Success TestVideoParam");
    EXPECT_EQ(initCalls, 1);
    EXPECT_EQ(encoderInitCalls, 1);
    EXPECT_EQ(closeCalls, 1);
    // A level far too low for 320x240 is corrected by the runtime with a warning.
    controls.Choose(kCodecLevel, "1");
    EXPECT_EQ(Press(), "MFXVideoENCODE_Init: MFX_WRN_INCOMPATIBLE_VIDEO_PARAM");
    EXPECT_EQ(closeCalls, 2);
}

TEST_F(SoftVideoTest, FailedInitIsTheLastSdkCall) {
    EXPECT_EQ(PressWithFaults("init=-3"), "MFXInit: MFX_ERR_UNSUPPORTED");
    EXPECT_EQ(PressWithFaults("init=-2"), "MFXInit: ErrorCode -2");
    EXPECT_EQ(PressWithFaults("init=-17"), "MFXInit: ErrorCode -17");
    unsetenv("MFXSOFT_FAULTS");
    setenv("MFXSOFT_ADAPTERS", "2", 1);
    controls.Choose(kHardware, "3");  // a third adapter does not exist
    EXPECT_EQ(Press(), "MFXInit: MFX_ERR_UNSUPPORTED");
    EXPECT_EQ(initCalls, 4);
    EXPECT_EQ(encoderInitCalls, 0);
    EXPECT_EQ(closeCalls, 0);
    controls.Choose(kHardware, "2");
    EXPECT_EQ(Press(), "Success TestVideoParam");
    EXPECT_EQ(closeCalls, 1);
}

TEST_F(SoftVideoTest, EncoderAnswersAndTheSessionIsAlwaysClosed) {
    const std::pair<const char*, const char*> cases[] = {
        {"enc_init=0", "Success TestVideoParam"},
        {"enc_init=4", "MFXVideoENCODE_Init: MFX_WRN_PARTIAL_ACCELERATION"},
        {"enc_init=5", "MFXVideoENCODE_Init: MFX_WRN_INCOMPATIBLE_VIDEO_PARAM"},
        {"enc_init=-15", "MFXVideoENCODE_Init: MFX_ERR_INVALID_VIDEO_PARAM"},
        {"enc_init=-16", "MFXVideoENCODE_Init: MFX_ERR_UNDEFINED_BEHAVIOR"},
        {"enc_init=-14", "MFXVideoENCODE_Init: ErrorCode -14"},
        {"enc_init=-3", "MFXVideoENCODE_Init: ErrorCode -3"},
    };
    int expected = 0;
    for (const auto& [faults, text] : cases) {
        EXPECT_EQ(PressWithFaults(faults), text) << faults;
        ++expected;
        EXPECT_EQ(encoderInitCalls, expected) << faults;
        EXPECT_EQ(closeCalls, expected) << faults;
    }
}

TEST_F(SoftVideoTest, TestChangesNeitherTheRecordNorTheControls) {
    controls.Clear(kTargetKbps);
    controls.Type(kTargetKbps, "abc");
    controls.Choose(kRateControl, "CBR");
    SettingData before = dialog.setting;
    EXPECT_EQ(Press(), "Success TestVideoParam");
    EXPECT_EQ(std::memcmp(&before, &dialog.setting, sizeof before), 0);
    EXPECT_EQ(controls.Text(kTargetKbps), "abc");
    EXPECT_EQ(controls.Selected(kRateControl), "CBR");
}

}  // namespace
