// The TestVideo button against the soft runtime, its answers steered with
// the runtime's fault knobs. The SDK entries are wrapped at link time
// (--wrap) to count the calls the test makes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <mfxvideo.h>

#include "encode/codec.h"
#include "encode/rate_control.h"
#include "fake_controls.h"
#include "ui/dialog_setting.h"
#include "ui/video_test.h"

namespace {
int initCalls = 0;
int encoderInitCalls = 0;
int closeCalls = 0;
int queryCalls = 0;  // MFXQueryVersion, MFXQueryIMPL, MFXVideoENCODE_GetVideoParam
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
// The calls that only ask the runtime about itself.
#define COUNTED_QUERY(name, Param)                                                  \
    mfxStatus __real_##name(mfxSession session, Param* out);                         \
    mfxStatus __wrap_##name(mfxSession session, Param* out) {                        \
        ++queryCalls;                                                                \
        return __real_##name(session, out);                                          \
    }
COUNTED_QUERY(MFXQueryVersion, mfxVersion)
COUNTED_QUERY(MFXQueryIMPL, mfxIMPL)
COUNTED_QUERY(MFXVideoENCODE_GetVideoParam, mfxVideoParam)
}

namespace {

using namespace dialog_id;

const char kRuntime[] = "Runtime: built-in soft runtime (Media SDK runtime, API 1.35)";
const char kCodecLine[] = "Codec: H.264 Main 8-bit";
// Every test here leaves the GOP to the runtime, which tells what it chose.
const char kGop[] = "GOP: length 256, B-frames 2 (the settings ask for auto, auto)";
const char kColour[] = "Colour: BT.601 for this test's 320x240; BT.709 from 1280 wide or 577 lines, BT.601 below, "
                       "limited range";

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines(1);
    for (char c : text) {
        if (c == '\n') lines.emplace_back();
        else lines.back().push_back(c);
    }
    return lines;
}
using Texts = std::vector<std::string>;

class SoftVideoTest : public testing::Test {
protected:
    void SetUp() override {
        unsetenv("MFXSOFT_FAULTS");
        unsetenv("MFXSOFT_ADAPTERS");
        initCalls = encoderInitCalls = closeCalls = queryCalls = 0;
        dialog.Attach(&controls);
        dialog.OnInitDialog();
    }
    void TearDown() override {
        dialog.Attach(nullptr);
        unsetenv("MFXSOFT_FAULTS");
        unsetenv("MFXSOFT_ADAPTERS");
        unsetenv("MFXSOFT_RUNTIME");
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

TEST_F(SoftVideoTest, SuccessTellsRuntimeAdapterColourAndLevel) {
    EXPECT_EQ(Lines(Press()),
              (Texts{"Success TestVideoParam", kCodecLine, kRuntime, "Adapter: HARDWARE", kColour, "Level: 4", kGop}));
    EXPECT_EQ(initCalls, 1);
    EXPECT_EQ(encoderInitCalls, 1);
    EXPECT_EQ(closeCalls, 1);
    // A level far too low for 320x240 is corrected by the runtime with a
    // warning; the message says why and what it settled on.
    controls.Choose(kCodecLevel, "1");
    EXPECT_EQ(Lines(Press()),
              (Texts{"MFXVideoENCODE_Init: MFX_WRN_INCOMPATIBLE_VIDEO_PARAM",
                     "MFXVideoENCODE_Init answered MFX_WRN_INCOMPATIBLE_VIDEO_PARAM to H.264 Main, level 1, VBR "
                     "1400/1400 kbps, 320x240 at 30 fps",
                     "Level 1 is too low for 320x240 at 30 fps and 1400 kbps; the lowest level that fits is 2",
                     kCodecLine, kRuntime, "Adapter: HARDWARE", kColour, "Level: 2 (the settings ask for 1)", kGop}));
    EXPECT_EQ(closeCalls, 2);
    // The VPL runtime is told by its API version.
    setenv("MFXSOFT_RUNTIME", "vpl", 1);
    controls.Choose(kCodecLevel, "4");
    EXPECT_EQ(Lines(Press())[2], "Runtime: built-in soft runtime (VPL GPU runtime, API 1.255)");
}

// The codec line follows what the dialog shows, not the record it opened with.
TEST_F(SoftVideoTest, CodecLineNamesTheChosenCodecProfileAndDepth) {
    struct Case {
        int list;
        const char* row;
        const char* line;
    } cases[] = {
        {kCodec, "HEVC", "Codec: HEVC Main 8-bit"},
        {kCodecProfile, "MAIN10", "Codec: HEVC Main10 10-bit"},
        {kCodec, "AV1", "Codec: AV1 Main 10-bit"},
        {kBitDepth, "8-bit", "Codec: AV1 Main 8-bit"},
        {kCodec, "H.264", "Codec: H.264 Baseline 8-bit"},  // AV1's Main is no H.264 profile
    };
    setenv("MFXSOFT_RUNTIME", "vpl", 1);  // the one that encodes AV1
    for (const Case& c : cases) {
        controls.Choose(c.list, c.row);
        EXPECT_TRUE(dialog.OnSelectionChange(c.list));
        const Texts lines = Lines(Press());
        ASSERT_GE(lines.size(), 2u);
        EXPECT_EQ(lines[0], "Success TestVideoParam") << c.line;
        EXPECT_EQ(lines[1], c.line);
    }
}

// The Media SDK runtime has no AV1 encoder: its Query says so, and the test
// tells the user which GPUs have one.
TEST_F(SoftVideoTest, ARuntimeWithoutTheCodecIsNamedAsSuch) {
    setenv("MFXSOFT_RUNTIME", "msdk", 1);
    controls.Choose(kCodec, "AV1");
    EXPECT_TRUE(dialog.OnSelectionChange(kCodec));
    const Texts lines = Lines(Press());
    ASSERT_GE(lines.size(), 3u);
    EXPECT_NE(lines[0], "Success TestVideoParam");
    EXPECT_EQ(lines[2].rfind("This runtime does not encode AV1 Main in 8 bits; AV1 needs an Intel Arc", 0), 0u)
        << lines[2];
    unsetenv("MFXSOFT_RUNTIME");
}

TEST_F(SoftVideoTest, FailedInitIsTheLastSdkCall) {
    struct Case {
        const char* faults;
        const char* hardware;
        Texts lines;
    };
    const Case cases[] = {
        {"init=-3", "1", {"MFXInit: MFX_ERR_UNSUPPORTED", "MFXInit answered MFX_ERR_UNSUPPORTED for HARDWARE"}},
        {"init=-2", "1", {"MFXInit: ErrorCode -2", "MFXInit answered MFX_ERR_NULL_PTR for HARDWARE"}},
        {"init=-17", "4", {"MFXInit: ErrorCode -17", "MFXInit answered MFX_ERR_DEVICE_FAILED for HARDWARE4"}},
        // A third adapter does not exist.
        {"", "3", {"MFXInit: MFX_ERR_UNSUPPORTED", "MFXInit answered MFX_ERR_UNSUPPORTED for HARDWARE3"}},
    };
    setenv("MFXSOFT_ADAPTERS", "2", 1);
    for (const Case& c : cases) {
        controls.Choose(kHardware, c.hardware);
        EXPECT_EQ(Lines(PressWithFaults(c.faults)), c.lines) << c.faults;
    }
    EXPECT_EQ(initCalls, 4);
    EXPECT_EQ(encoderInitCalls + queryCalls + closeCalls, 0);
    unsetenv("MFXSOFT_FAULTS");
    controls.Choose(kHardware, "2");
    EXPECT_EQ(Lines(Press())[0], "Success TestVideoParam");
    EXPECT_EQ(closeCalls, 1);
}

TEST_F(SoftVideoTest, EncoderAnswersAndTheSessionIsAlwaysClosed) {
    const std::string asked = " to H.264 Main, level 4, VBR 1400/1400 kbps, 320x240 at 30 fps";
    struct Case {
        const char* faults;
        const char* verdict;  // the first line, as it has always read
        const char* status;   // the status named on the next line; null when none follows
        bool settled;         // the encoder runs: colour and level follow the runtime
    };
    const Case cases[] = {
        {"enc_init=0", "Success TestVideoParam", nullptr, true},
        {"enc_init=4", "MFXVideoENCODE_Init: MFX_WRN_PARTIAL_ACCELERATION", "MFX_WRN_PARTIAL_ACCELERATION", true},
        {"enc_init=5", "MFXVideoENCODE_Init: MFX_WRN_INCOMPATIBLE_VIDEO_PARAM", "MFX_WRN_INCOMPATIBLE_VIDEO_PARAM",
         true},
        {"enc_init=-15", "MFXVideoENCODE_Init: MFX_ERR_INVALID_VIDEO_PARAM", "MFX_ERR_INVALID_VIDEO_PARAM", false},
        {"enc_init=-16", "MFXVideoENCODE_Init: MFX_ERR_UNDEFINED_BEHAVIOR", "MFX_ERR_UNDEFINED_BEHAVIOR", false},
        {"enc_init=-14", "MFXVideoENCODE_Init: ErrorCode -14", "MFX_ERR_INCOMPATIBLE_VIDEO_PARAM", false},
        {"enc_init=-3", "MFXVideoENCODE_Init: ErrorCode -3", "MFX_ERR_UNSUPPORTED", false},
    };
    int expected = 0;
    for (const Case& c : cases) {
        Texts lines = {c.verdict};
        if (c.status != nullptr) lines.push_back(std::string("MFXVideoENCODE_Init answered ") + c.status + asked);
        lines.insert(lines.end(), {kCodecLine, kRuntime, "Adapter: HARDWARE"});
        if (c.settled) lines.insert(lines.end(), {kColour, "Level: 4", kGop});
        EXPECT_EQ(Lines(PressWithFaults(c.faults)), lines) << c.faults;
        ++expected;
        EXPECT_EQ(encoderInitCalls, expected) << c.faults;
        EXPECT_EQ(closeCalls, expected) << c.faults;
    }
    // A runtime that will not tell its parameters leaves the level out.
    EXPECT_EQ(Lines(PressWithFaults("enc_getparam=-3")),
              (Texts{"Success TestVideoParam", kCodecLine, kRuntime, "Adapter: HARDWARE", kColour}));
}

// The encoder gets the export's coding-option buffers, and the message says
// what the runtime made of the mode and the GOP: the lines after the level.
TEST_F(SoftVideoTest, SaysWhatTheRuntimeChangedOrChoseForAuto) {
    struct Case {
        const char* runtime;
        mfxU32 codec;
        int32_t mode;
        int32_t lookAhead, quality, gopLength, gopRefDist;
        Texts tail;  // from the level line on, or the verdict and the cause when refused
    };
    const Case cases[] = {
        // Look-ahead 0 is the runtime's choice, told through mfxExtCodingOption2.
        {"msdk", MFX_CODEC_AVC, MFX_RATECONTROL_LA, 0, 23, 60, 1, {"Level: 4", "LookAhead: 40 (the settings ask for auto)"}},
        {"msdk", MFX_CODEC_AVC, MFX_RATECONTROL_LA_ICQ, 10, 23, 60, 1, {"Level: 4"}},
        // Below twice the B-frame distance: raised.
        {"msdk", MFX_CODEC_AVC, MFX_RATECONTROL_LA, 10, 23, 60, 8,
         {"Level: 4", "LookAhead: 16 (the settings ask for 10)"}},
        // QVBR's quality through mfxExtCodingOption3, beyond 51 clipped.
        {"msdk", MFX_CODEC_AVC, MFX_RATECONTROL_QVBR, 0, 60, 60, 1, {"Level: 4", "Quality: 51 (the settings ask for 60)"}},
        {"msdk", MFX_CODEC_AVC, MFX_RATECONTROL_ICQ, 0, 30, 0, 0, {"Level: 4", kGop}},
        // Intel's HEVC encoders turn AVBR into VBR.
        {"vpl", MFX_CODEC_HEVC, MFX_RATECONTROL_AVBR, 0, 23, 60, 1, {"Level: 2 (the settings ask for auto)", "RateControl: VBR (the settings ask for AVBR)"}},
        // AV1's mini-GOPs: a distance of 3 becomes 4.
        {"vpl", MFX_CODEC_AV1, MFX_RATECONTROL_CQP, 0, 23, 60, 3, {"Level: 2.0 (the settings ask for auto)", "GOP: B-frames 3 (the settings ask for 2)"}},
        {"vpl", MFX_CODEC_AVC, MFX_RATECONTROL_LA, 0, 23, 60, 1,
         {"MFXVideoENCODE_Init: MFX_ERR_INVALID_VIDEO_PARAM",
          "LA is not supported for H.264 by this runtime (MFXVideoENCODE_Query answered MFX_ERR_UNSUPPORTED)"}},
    };
    for (const Case& c : cases) {
        setenv("MFXSOFT_RUNTIME", c.runtime, 1);
        SettingData data = DefaultSettingData();
        data.codec = static_cast<int32_t>(c.codec);
        FitSettingsToCodec(data);
        data.codecLevel = MFX_LEVEL_UNKNOWN;
        if (c.codec == MFX_CODEC_AVC) data.codecLevel = MFX_LEVEL_AVC_4;
        data.rateControl = c.mode;
        data.lookAheadDepth = c.lookAhead;
        data.quality = c.quality;
        data.gopLength = c.gopLength;
        data.gopRefDist = c.gopRefDist;
        const Texts lines = Lines(RunVideoParamTest(data));
        SCOPED_TRACE(RateControlName(c.mode) + " " + c.runtime);
        if (c.tail[0].rfind("MFX", 0) == 0) {
            ASSERT_GE(lines.size(), 3u);
            EXPECT_EQ(lines[0], c.tail[0]);
            EXPECT_EQ(lines[2], c.tail[1]);
            continue;
        }
        const auto level = std::find_if(lines.begin(), lines.end(), [](const std::string& line) {
            return line.rfind("Level: ", 0) == 0;
        });
        EXPECT_EQ(Texts(level, lines.end()), c.tail);
    }
    unsetenv("MFXSOFT_RUNTIME");
}

// What OK would refuse TestVideo does not try: it shows OK's message.
TEST_F(SoftVideoTest, AValueOutOfRangeIsNotTested) {
    controls.Choose(kRateControl, "CQP");
    EXPECT_TRUE(dialog.OnSelectionChange(kRateControl));
    controls.Clear(kQpP);
    controls.Type(kQpP, "52");
    EXPECT_EQ(Press(), "QP P 52 is outside 1 to 51 for H.264.");
    EXPECT_EQ(initCalls, 0);
    controls.Clear(kQpP);
    controls.Type(kQpP, "51");
    EXPECT_EQ(Lines(Press())[0], "Success TestVideoParam");
}

TEST_F(SoftVideoTest, TestChangesNeitherTheRecordNorTheControls) {
    controls.Clear(kTargetKbps);
    controls.Type(kTargetKbps, "abc");
    controls.Choose(kRateControl, "CBR");
    SettingData before = dialog.setting;
    EXPECT_EQ(Lines(Press())[0], "Success TestVideoParam");
    EXPECT_EQ(std::memcmp(&before, &dialog.setting, sizeof before), 0);
    EXPECT_EQ(controls.Text(kTargetKbps), "abc");
    EXPECT_EQ(controls.Selected(kRateControl), "CBR");
}

}  // namespace
