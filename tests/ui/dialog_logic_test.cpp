// The settings dialog's logic against a control set without a window, and
// the configuration entry around it. The SDK here is a recording fake, so
// the video test's calls and parameters can be seen.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "fake_controls.h"
#include "recording_sdk.h"
#include "plugin/plugin_entries.h"
#include "ui/dialog_setting.h"

namespace {

using namespace dialog_id;

// One open dialog: the user's actions run while the dialog is open, as the
// modal run would, then the configuration entry finishes.
FakeControls* openControls;
std::function<void(CDialogSetting&, FakeControls&)> userActions;

int RunWithFakeControls(CDialogSetting& dialog) {
    FakeControls controls;
    openControls = &controls;
    dialog.Attach(&controls);
    dialog.OnInitDialog();
    userActions(dialog, controls);
    dialog.Attach(nullptr);
    openControls = nullptr;
    return controls.endCode.value_or(0);
}

int RunThatCannotStart(CDialogSetting&) { return -1; }

class DialogTest : public testing::Test {
protected:
    void SetUp() override {
        std::memset(&PluginSettings(), 0, sizeof(SettingData));  // as loaded
        sdkCalls.clear();
        initStatus = MFX_ERR_NONE;
        encoderInitStatus = MFX_ERR_NONE;
    }

    // Opens the dialog through the configuration entry's steps; `actions`
    // plays the user and must end the dialog.
    void Configure(std::function<void(CDialogSetting&, FakeControls&)> actions) {
        userActions = [actions](CDialogSetting& dialog, FakeControls& controls) {
            actions(dialog, controls);
            ASSERT_TRUE(controls.endCode.has_value()) << "the dialog is still open";
        };
        RunConfiguration(PluginSettings(), RunWithFakeControls);
    }

    static void Press(CDialogSetting& dialog, int id) { ASSERT_TRUE(dialog.OnCommand(id)); }
    // The user picks a row: the toolkit then tells the dialog, for every list.
    static void Pick(CDialogSetting& dialog, FakeControls& c, int id, const char* row) {
        c.Choose(id, row);
        ASSERT_EQ(c.Selected(id), row);
        dialog.OnSelectionChange(id);
    }

    static SettingData ValidSettings() {
        SettingData data = DefaultSettingData();
        data.hardwareImpl = 6;
        data.codecProfile = 100;
        data.codecLevel = 9;
        data.targetUsage = 7;
        data.rateControl = 1;
        data.targetKbps = 2500;
        data.maxKbps = 4000;
        data.aacProfile = 1;
        data.aacKbps = 128;
        std::memset(data.aacEncoderPath, 'x', sizeof data.aacEncoderPath);
        std::strcpy(data.aacEncoderPath, "C:\\tools\\neroAacEnc.exe");  // 'x' stays after the NUL
        std::strcpy(data.muxerPath, "C:\\tools\\MP4Box.exe");
        std::strcpy(data.tempFolder, "D:\\temp");
        // Fields of other modes: the dialog must carry them through.
        data.qpI = 30;
        data.lookAheadDepth = 40;
        data.gopRefDist = 3;
        data.reserved[10] = 5;
        return data;
    }

    static SettingData Stored() { return PluginSettings(); }
    static bool SameBytes(const SettingData& a, const SettingData& b) { return std::memcmp(&a, &b, sizeof a) == 0; }
};

TEST_F(DialogTest, FreshPluginShowsDefaultsAndCancelStoresThem) {
    Configure([](CDialogSetting& dialog, FakeControls& c) {
        EXPECT_TRUE(dialog.dialogInitialized);
        EXPECT_EQ(c.lists[kHardware].rows.size(), 4u);
        EXPECT_EQ(c.lists[kCodecProfile].rows.size(), 3u);
        EXPECT_EQ(c.lists[kCodecLevel].rows.size(), 17u);
        EXPECT_EQ(c.Rows(kCodec), (std::vector<std::string>{"H.264", "HEVC", "AV1"}));
        EXPECT_EQ(c.Rows(kBitDepth), (std::vector<std::string>{"8-bit"}));
        EXPECT_EQ(c.lists[kTargetUsage].rows.size(), 3u);
        EXPECT_EQ(c.Rows(kRateControl),
                  (std::vector<std::string>{"CBR", "VBR", "CQP", "AVBR", "LA", "ICQ", "LA_ICQ", "QVBR"}));
        EXPECT_EQ(c.lists[kAudioBitRate].rows.size(), 22u);
        EXPECT_EQ(c.Selected(kHardware), "1");
        EXPECT_EQ(c.Selected(kCodec), "H.264");
        EXPECT_EQ(c.Selected(kBitDepth), "8-bit");
        EXPECT_EQ(c.Selected(kCodecProfile), "MAIN");
        EXPECT_EQ(c.Selected(kCodecLevel), "4");
        EXPECT_EQ(c.Selected(kTargetUsage), "BALANCED");
        EXPECT_EQ(c.Selected(kRateControl), "VBR");
        EXPECT_EQ(c.Text(kTargetKbps), "1400");
        EXPECT_EQ(c.Text(kMaxKbps), "1400");
        EXPECT_EQ(c.Selected(kAudioBitRate), "HE 96[kbps]");
        EXPECT_EQ(c.Text(kAacEncoderPath), "");
        EXPECT_EQ(c.Text(kMuxerPath), "");
        EXPECT_EQ(c.Text(kTempFolder), "");
        EXPECT_EQ(c.edits[kTargetKbps].limit, 5);
        EXPECT_EQ(c.edits[kMaxKbps].limit, 5);
        for (const auto& [id, text] : {std::pair<int, const char*>{kQpI, "22"}, {kQpP, "24"}, {kQpB, "26"},
                                       {kQuality, "23"}, {kLookAhead, "0"}, {kAvbrAccuracy, "0"},
                                       {kAvbrConvergence, "0"}, {kGopLength, "0"}, {kBFrames, "auto"},
                                       {kIdrInterval, "0"}}) {
            EXPECT_EQ(c.Text(id), text) << id;
        }
        Press(dialog, kCancel);
        EXPECT_EQ(c.endCode, kCancel);
    });
    EXPECT_TRUE(SameBytes(Stored(), DefaultSettingData()));
    SettingData fetched;
    EXPECT_EQ(SettingsGetEntry(&fetched, sizeof fetched), 1024);
    EXPECT_TRUE(SameBytes(fetched, DefaultSettingData()));
}

TEST_F(DialogTest, CancelLeavesValidSettingsByteForByte) {
    SettingData valid = ValidSettings();
    PluginSettings() = valid;
    Configure([](CDialogSetting& dialog, FakeControls& c) {
        EXPECT_EQ(c.Selected(kHardware), "3");
        EXPECT_EQ(c.Selected(kCodecProfile), "HIGH");
        EXPECT_EQ(c.Selected(kCodecLevel), "1b");
        EXPECT_EQ(c.Selected(kTargetUsage), "SPEED");
        EXPECT_EQ(c.Selected(kRateControl), "CBR");
        EXPECT_EQ(c.Selected(kAudioBitRate), "LC 128[kbps]");
        EXPECT_EQ(c.Text(kAacEncoderPath), "C:\\tools\\neroAacEnc.exe");
        c.Type(kTargetKbps, "1");  // typed, then thrown away by Cancel
        Press(dialog, kCancel);
    });
    EXPECT_TRUE(SameBytes(Stored(), valid));
}

TEST_F(DialogTest, OkUnchangedKeepsEveryByte) {
    SettingData valid = ValidSettings();
    PluginSettings() = valid;
    Configure([](CDialogSetting& dialog, FakeControls&) { Press(dialog, kOk); });
    EXPECT_TRUE(SameBytes(Stored(), valid));
}

TEST_F(DialogTest, TypedBitRatesAreReadAsFiveCharacterNumbers) {
    Configure([](CDialogSetting& dialog, FakeControls& c) {
        c.Clear(kTargetKbps);
        c.Type(kTargetKbps, "900");
        c.Clear(kMaxKbps);
        c.Type(kMaxKbps, "1234567");  // the sixth and seventh key do nothing
        EXPECT_EQ(c.Text(kMaxKbps), "12345");
        Press(dialog, kOk);
        EXPECT_EQ(c.endCode, kOk);
    });
    EXPECT_EQ(Stored().targetKbps, 900);
    EXPECT_EQ(Stored().maxKbps, 12345);
    EXPECT_EQ(Stored().version, 3);
}

TEST_F(DialogTest, SixDigitStoredValueShownWholeAndStoredAsFirstFiveDigits) {
    SettingData valid = ValidSettings();
    valid.rateControl = MFX_RATECONTROL_VBR;  // reads both
    valid.targetKbps = 123456;
    valid.maxKbps = -2147483647 - 1;
    PluginSettings() = valid;
    Configure([](CDialogSetting& dialog, FakeControls& c) {
        EXPECT_EQ(c.Text(kTargetKbps), "123456");
        EXPECT_EQ(c.Text(kMaxKbps), "-2147483648");
        Press(dialog, kOk);
    });
    EXPECT_EQ(Stored().targetKbps, 12345);
    EXPECT_EQ(Stored().maxKbps, -2147);
}

TEST_F(DialogTest, BitRateTextsWithoutANumberKeepTheOldValue) {
    struct Case {
        const char* text;
        int32_t stored;
    };
    const Case cases[] = {
        {"", 2500},     {"   ", 2500}, {"kbps", 2500}, {"-", 2500},   {"+", 2500},
        {" 64kbps", 64}, {"-5", -5},   {"+12", 12},    {"007", 7},    {"\t42", 42},
        {"99999", 99999}, {"-1234", -1234}, {"12 34", 12},
    };
    for (const Case& test : cases) {
        PluginSettings() = ValidSettings();
        Configure([&test](CDialogSetting& dialog, FakeControls& c) {
            c.SetText(kTargetKbps, test.text);  // as if typed (all within five keys or pasted)
            Press(dialog, kOk);
        });
        EXPECT_EQ(Stored().targetKbps, test.stored) << '"' << test.text << '"';
        EXPECT_EQ(Stored().maxKbps, 4000) << '"' << test.text << '"';
    }
}

TEST_F(DialogTest, AudioPairsAndRowsTheListLacks) {
    Configure([](CDialogSetting& dialog, FakeControls& c) {
        c.Choose(kAudioBitRate, "HEv2 24[kbps]");
        c.Choose(kCodecLevel, "5.1");
        c.Choose(kHardware, "4");
        Press(dialog, kOk);
    });
    EXPECT_EQ(Stored().aacProfile, 3);
    EXPECT_EQ(Stored().aacKbps, 24);
    EXPECT_EQ(Stored().codecLevel, 51);
    EXPECT_EQ(Stored().hardwareImpl, 7);

    // HE has no 128 kbps row: nothing is selected, and OK keeps the pair.
    SettingData restored = ValidSettings();
    restored.aacProfile = 2;
    restored.aacKbps = 128;
    PluginSettings() = restored;
    Configure([](CDialogSetting& dialog, FakeControls& c) {
        EXPECT_EQ(c.lists[kAudioBitRate].selected, -1);
        Press(dialog, kOk);
    });
    EXPECT_EQ(Stored().aacProfile, 2);
    EXPECT_EQ(Stored().aacKbps, 128);
}

TEST_F(DialogTest, ListWithoutSelectionKeepsItsFieldAtOkAndInTheTest) {
    SettingData restored = ValidSettings();
    restored.hardwareImpl = 0;
    restored.codecProfile = 0;
    restored.rateControl = 5;  // no mode
    PluginSettings() = restored;
    Configure([](CDialogSetting& dialog, FakeControls& c) {
        EXPECT_EQ(c.lists[kHardware].selected, -1);
        EXPECT_EQ(c.lists[kCodecProfile].selected, -1);
        EXPECT_EQ(c.lists[kRateControl].selected, -1);
        Press(dialog, kTestVideo);
        Press(dialog, kOk);
    });
    ASSERT_EQ(sdkCalls.size(), 7u);  // Query and Init ask with the same description
    EXPECT_EQ(sdkCalls[0].impl, 0);
    EXPECT_EQ(sdkCalls[1].param.mfx.CodecProfile, 0);
    EXPECT_EQ(sdkCalls[1].param.mfx.RateControlMethod, 5);
    EXPECT_EQ(Stored().hardwareImpl, 0);
    EXPECT_EQ(Stored().codecProfile, 0);
    EXPECT_EQ(Stored().rateControl, 5);
    // Once the user picks a row, the field follows it.
    Configure([](CDialogSetting& dialog, FakeControls& c) {
        c.Choose(kCodecProfile, "BASELINE");
        Press(dialog, kOk);
    });
    EXPECT_EQ(Stored().codecProfile, 66);
    EXPECT_EQ(Stored().hardwareImpl, 0);
}

// Each row is one choice of the user and what the codec lists show after it.
TEST_F(DialogTest, CodecListsFollowEveryChoiceAndOkStoresThem) {
    using Rows = std::vector<std::string>;
    const Rows avcProfiles = {"BASELINE", "MAIN", "HIGH"}, hevcProfiles = {"MAIN", "MAIN10"}, av1Profiles = {"MAIN"};
    const Rows eightBit = {"8-bit"}, bothDepths = {"8-bit", "10-bit"};
    struct Step {
        int list;
        const char* row;
        const char* codec;
        const Rows& profiles;
        const char* profile;
        const Rows& depths;
        const char* depth;
        const char* level;
        size_t levels;  // "auto" and the codec's levels
    };
    const Step steps[] = {
        {kCodecLevel, "1b", "H.264", avcProfiles, "HIGH", eightBit, "8-bit", "1b", 17},
        {kCodec, "HEVC", "HEVC", hevcProfiles, "MAIN", bothDepths, "8-bit", "auto", 14},  // HEVC has no 1b
        {kCodecLevel, "5.1", "HEVC", hevcProfiles, "MAIN", bothDepths, "8-bit", "5.1", 14},
        {kCodecProfile, "MAIN10", "HEVC", hevcProfiles, "MAIN10", bothDepths, "10-bit", "5.1", 14},
        {kBitDepth, "8-bit", "HEVC", hevcProfiles, "MAIN", bothDepths, "8-bit", "5.1", 14},
        {kBitDepth, "10-bit", "HEVC", hevcProfiles, "MAIN10", bothDepths, "10-bit", "5.1", 14},
        {kCodec, "AV1", "AV1", av1Profiles, "MAIN", bothDepths, "10-bit", "5.1", 15},  // same level value
        {kCodecLevel, "6.3", "AV1", av1Profiles, "MAIN", bothDepths, "10-bit", "6.3", 15},
        {kCodec, "H.264", "H.264", avcProfiles, "BASELINE", eightBit, "8-bit", "auto", 17},
        {kCodecProfile, "HIGH", "H.264", avcProfiles, "HIGH", eightBit, "8-bit", "auto", 17},
    };
    PluginSettings() = ValidSettings();
    Configure([&steps](CDialogSetting& dialog, FakeControls& c) {
        for (const Step& step : steps) {
            Pick(dialog, c, step.list, step.row);
            SCOPED_TRACE(step.row);
            EXPECT_EQ(c.Selected(kCodec), step.codec);
            EXPECT_EQ(c.Rows(kCodecProfile), step.profiles);
            EXPECT_EQ(c.Selected(kCodecProfile), step.profile);
            EXPECT_EQ(c.Rows(kBitDepth), step.depths);
            EXPECT_EQ(c.Selected(kBitDepth), step.depth);
            EXPECT_EQ(c.Selected(kCodecLevel), step.level);
            EXPECT_EQ(c.Rows(kCodecLevel).size(), step.levels);
            EXPECT_EQ(c.Rows(kCodecLevel).front(), "auto");
        }
        Pick(dialog, c, kCodec, "HEVC");
        Pick(dialog, c, kCodecProfile, "MAIN10");
        Pick(dialog, c, kCodecLevel, "6.2");
        EXPECT_TRUE(SameBytes(dialog.setting, ValidSettings())) << "only OK writes the record";
        Press(dialog, kOk);
    });
    SettingData expected = ValidSettings();
    expected.codec = MFX_CODEC_HEVC;
    expected.bitDepth = 10;
    expected.codecProfile = MFX_PROFILE_HEVC_MAIN10;
    expected.codecLevel = MFX_LEVEL_HEVC_62;
    EXPECT_TRUE(SameBytes(Stored(), expected));

    // The same choices, then Cancel: the record stays as it was.
    Configure([](CDialogSetting& dialog, FakeControls& c) {
        EXPECT_EQ(c.Selected(kCodec), "HEVC");
        EXPECT_EQ(c.Selected(kCodecLevel), "6.2");
        Pick(dialog, c, kCodec, "AV1");
        Pick(dialog, c, kBitDepth, "8-bit");
        Press(dialog, kCancel);
    });
    EXPECT_TRUE(SameBytes(Stored(), expected));
}

TEST_F(DialogTest, ListsWithoutAHandlerIgnoreTheNotification) {
    Configure([](CDialogSetting& dialog, FakeControls&) {
        for (int id : {kHardware, kCodecLevel, kTargetUsage, kAudioBitRate, kTargetKbps, kOk}) {
            EXPECT_FALSE(dialog.OnSelectionChange(id)) << id;
        }
        for (int id : {kCodec, kBitDepth, kCodecProfile, kRateControl}) {
            EXPECT_TRUE(dialog.OnSelectionChange(id)) << id;
        }
        Press(dialog, kCancel);
    });
}

// Records no row fully describes: the lists show what they can, nothing is
// fitted until the user changes the codec, and OK keeps what was not shown.
TEST_F(DialogTest, RestoredCodecValuesTheListsLackAreKept) {
    struct Case {
        int32_t codec, bitDepth, profile, level;
        const char* codecRow;
        const char* depthRow;
        const char* profileRow;
        const char* levelRow;
    } cases[] = {
        // An old version-2 H.264 record, upgraded: every row as before.
        {MFX_CODEC_AVC, 8, MFX_PROFILE_AVC_HIGH, MFX_LEVEL_AVC_1b, "H.264", "8-bit", "HIGH", "1b"},
        // H.264's 5.2, which tarvo-host can set, and 10 bits H.264 never lists.
        {MFX_CODEC_AVC, 10, MFX_PROFILE_AVC_MAIN, MFX_LEVEL_AVC_52, "H.264", "", "MAIN", ""},
        {MFX_CODEC_HEVC, 10, MFX_PROFILE_HEVC_MAIN, 0x7FFF, "HEVC", "10-bit", "MAIN", ""},
        // A codec no row holds: H.264's rows, nothing chosen where they lack the value.
        {0x31323334, 12, 0, MFX_LEVEL_AVC_4, "", "", "", "4"},
    };
    for (const Case& test : cases) {
        SettingData restored = ValidSettings();
        restored.codec = test.codec;
        restored.bitDepth = test.bitDepth;
        restored.codecProfile = test.profile;
        restored.codecLevel = test.level;
        PluginSettings() = restored;
        Configure([&test](CDialogSetting& dialog, FakeControls& c) {
            EXPECT_EQ(c.Selected(kCodec), test.codecRow);
            EXPECT_EQ(c.Selected(kBitDepth), test.depthRow);
            EXPECT_EQ(c.Selected(kCodecProfile), test.profileRow);
            EXPECT_EQ(c.Selected(kCodecLevel), test.levelRow);
            Press(dialog, kOk);
        });
        EXPECT_TRUE(SameBytes(Stored(), restored)) << test.codec << " " << test.level;
    }
}

// The edits of the rate control and the GOP, in the order the table below
// gives their use.
constexpr int kModeEdits[] = {kTargetKbps, kMaxKbps, kQpI, kQpP, kQpB, kQuality, kLookAhead, kAvbrAccuracy,
                              kAvbrConvergence, kGopLength, kBFrames, kIdrInterval};

std::string InUse(FakeControls& c) {
    std::string use;
    for (int id : kModeEdits) use += c.edits[id].enabled ? '1' : '.';
    return use;
}

// Per mode, which edits can be typed into: target, max, QP I/P/B, quality,
// look-ahead, accuracy, convergence, then the GOP's three, which every mode
// reads.
TEST_F(DialogTest, EachModeEnablesTheFieldsItReads) {
    struct Case {
        const char* mode;
        const char* inUse;
    } cases[] = {
        {"CBR", "1........111"},    {"VBR", "11.......111"},    {"CQP", "..111....111"}, {"AVBR", "1......11111"},
        {"LA", "11....1..111"},     {"ICQ", ".....1...111"},    {"LA_ICQ", ".....11..111"},
        {"QVBR", "11...1...111"},
    };
    PluginSettings() = ValidSettings();
    Configure([&cases](CDialogSetting& dialog, FakeControls& c) {
        EXPECT_EQ(InUse(c), "1........111");  // CBR, as restored
        for (const Case& test : cases) {
            Pick(dialog, c, kRateControl, test.mode);
            EXPECT_EQ(InUse(c), test.inUse) << test.mode;
        }
        Press(dialog, kCancel);
    });
    // A mode no row holds leaves every field to the user.
    SettingData restored = ValidSettings();
    restored.rateControl = 5;
    PluginSettings() = restored;
    Configure([](CDialogSetting& dialog, FakeControls& c) {
        EXPECT_EQ(InUse(c), "111111111111");
        Press(dialog, kCancel);
    });
}

// The mode list holds what the codec's encoders take; a new codec keeps the
// mode when it has it, else takes VBR, and the greying follows.
TEST_F(DialogTest, ModeListFollowsTheCodec) {
    using Rows = std::vector<std::string>;
    const Rows avc = {"CBR", "VBR", "CQP", "AVBR", "LA", "ICQ", "LA_ICQ", "QVBR"};
    const Rows hevc = {"CBR", "VBR", "CQP", "ICQ", "QVBR"};
    const Rows av1 = {"CBR", "VBR", "CQP", "ICQ"};
    struct Step {
        int list;
        const char* row;
        const Rows& modes;
        const char* mode;
        const char* inUse;
    } steps[] = {
        {kRateControl, "LA", avc, "LA", "11....1..111"},
        {kCodec, "HEVC", hevc, "VBR", "11.......111"},  // HEVC has no look-ahead
        {kRateControl, "QVBR", hevc, "QVBR", "11...1...111"},
        {kBitDepth, "10-bit", hevc, "QVBR", "11...1...111"},
        {kCodec, "AV1", av1, "VBR", "11.......111"},  // nor AV1 QVBR
        {kRateControl, "ICQ", av1, "ICQ", ".....1...111"},
        {kCodec, "HEVC", hevc, "ICQ", ".....1...111"},
        {kCodec, "H.264", avc, "ICQ", ".....1...111"},
        {kRateControl, "AVBR", avc, "AVBR", "1......11111"},
        {kCodec, "AV1", av1, "VBR", "11.......111"},
        {kRateControl, "CQP", av1, "CQP", "..111....111"},
    };
    PluginSettings() = ValidSettings();
    Configure([&steps](CDialogSetting& dialog, FakeControls& c) {
        for (const Step& step : steps) {
            SCOPED_TRACE(step.row);
            Pick(dialog, c, step.list, step.row);
            EXPECT_EQ(c.Rows(kRateControl), step.modes);
            EXPECT_EQ(c.Selected(kRateControl), step.mode);
            EXPECT_EQ(InUse(c), step.inUse);
        }
        EXPECT_TRUE(SameBytes(dialog.setting, ValidSettings())) << "only OK writes the record";
        c.Clear(kQpI);
        c.Type(kQpI, "200");  // AV1's quantizer index
        Press(dialog, kOk);
    });
    EXPECT_EQ(Stored().codec, static_cast<int32_t>(MFX_CODEC_AV1));
    EXPECT_EQ(Stored().rateControl, MFX_RATECONTROL_CQP);
    EXPECT_EQ(Stored().qpI, 200);
    // A restored mode its codec's list lacks shows no row and is kept, and
    // its fields are in use.
    SettingData restored = ValidSettings();
    restored.codec = MFX_CODEC_HEVC;
    restored.codecProfile = MFX_PROFILE_HEVC_MAIN;
    restored.rateControl = MFX_RATECONTROL_LA;
    PluginSettings() = restored;
    Configure([](CDialogSetting& dialog, FakeControls& c) {
        EXPECT_EQ(c.Selected(kRateControl), "");
        EXPECT_EQ(InUse(c), "11....1..111");
        Press(dialog, kOk);
    });
    EXPECT_TRUE(SameBytes(Stored(), restored));
}

// OK with a value out of range: the message names the field and its range,
// the dialog stays open and the record unchanged; the value put right, OK
// stores it.
TEST_F(DialogTest, OkWithAValueOutOfRangeSaysSoAndStaysOpen) {
    struct Case {
        const char* codec;
        const char* mode;
        int edit;
        const char* typed;
        const char* message;
        const char* right;
        int32_t SettingData::*field;
        int32_t stored;
    } cases[] = {
        {"H.264", "CQP", kQpI, "52", "QP I 52 is outside 1 to 51 for H.264.", "51", &SettingData::qpI, 51},
        {"HEVC", "CQP", kQpP, "0", "QP P 0 is outside 1 to 51 for HEVC.", "1", &SettingData::qpP, 1},
        {"AV1", "CQP", kQpB, "256", "QP B 256 is outside 1 to 255 for AV1.", "255", &SettingData::qpB, 255},
        {"H.264", "ICQ", kQuality, "52", "Quality 52 is outside 1 to 51.", "1", &SettingData::quality, 1},
        {"HEVC", "QVBR", kQuality, "0", "Quality 0 is outside 1 to 51.", "51", &SettingData::quality, 51},
        {"H.264", "LA", kLookAhead, "9", "LookAhead 9 is outside 10 to 100 (or 0, the runtime's choice).", "0",
         &SettingData::lookAheadDepth, 0},
        {"H.264", "LA_ICQ", kLookAhead, "101", "LookAhead 101 is outside 10 to 100 (or 0, the runtime's choice).",
         "100", &SettingData::lookAheadDepth, 100},
        {"H.264", "AVBR", kAvbrAccuracy, "-1", "Accuracy -1 is outside 1 to 65535 (or 0, the runtime's choice).",
         "10", &SettingData::avbrAccuracy, 10},
        {"H.264", "AVBR", kAvbrConvergence, "-9", "Convergence -9 is outside 1 to 65535 (or 0, the runtime's choice).",
         "65535", &SettingData::avbrConvergence, 65535},
        {"AV1", "VBR", kGopLength, "-1", "GopLength -1 is outside 1 to 65535 (or 0, the runtime's choice).", "250",
         &SettingData::gopLength, 250},
        {"H.264", "CBR", kBFrames, "-2", "BFrames -2 is outside 0 to 65534 (or auto, the runtime's choice).", "3",
         &SettingData::gopRefDist, 4},
        {"HEVC", "ICQ", kIdrInterval, "-1", "IdrInterval -1 is outside 1 to 65535 (or 0, the runtime's choice).", "2",
         &SettingData::idrInterval, 2},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.message);
        PluginSettings() = ValidSettings();
        Configure([&test](CDialogSetting& dialog, FakeControls& c) {
            Pick(dialog, c, kCodec, test.codec);
            Pick(dialog, c, kRateControl, test.mode);
            c.Clear(test.edit);
            c.Type(test.edit, test.typed);
            Press(dialog, kOk);
            EXPECT_FALSE(c.endCode.has_value());
            EXPECT_EQ(c.messages, std::vector<std::string>{test.message});
            EXPECT_TRUE(SameBytes(dialog.setting, ValidSettings()));
            c.Clear(test.edit);
            c.Type(test.edit, test.right);
            Press(dialog, kOk);
            EXPECT_EQ(c.messages.size(), 1u);
        });
        EXPECT_EQ(Stored().*test.field, test.stored);
    }
}

// A greyed field is neither read nor checked: a stored value the mode does
// not read stays, even one out of range.
TEST_F(DialogTest, GreyedFieldsKeepTheirStoredValues) {
    SettingData restored = ValidSettings();  // CBR
    restored.qpI = 99;
    restored.quality = 0;
    PluginSettings() = restored;
    Configure([](CDialogSetting& dialog, FakeControls& c) {
        EXPECT_EQ(c.Text(kQpI), "99");
        c.SetText(kMaxKbps, "777");  // greyed under CBR: no user typed it
        c.Type(kQpP, "1");           // a greyed edit takes no typing
        Press(dialog, kOk);
        EXPECT_TRUE(c.messages.empty());
    });
    EXPECT_TRUE(SameBytes(Stored(), restored));
    // The same value is refused once the mode reads it.
    Configure([](CDialogSetting& dialog, FakeControls& c) {
        Pick(dialog, c, kRateControl, "ICQ");
        Press(dialog, kOk);
        EXPECT_EQ(c.messages, std::vector<std::string>{"Quality 0 is outside 1 to 51."});
        Press(dialog, kCancel);
    });
    EXPECT_TRUE(SameBytes(Stored(), restored));
}

// B-frames are shown and typed as such and stored as gopRefDist, one more;
// "auto" is gopRefDist 0, the runtime's choice.
TEST_F(DialogTest, BFramesAreStoredPlusOne) {
    struct Case {
        int32_t gopRefDist;
        const char* shown;
        const char* typed;
        int32_t stored;
    } cases[] = {
        {0, "auto", "0", 1},     {0, "auto", "2", 3},     {3, "2", "auto", 0},   {3, "2", " AUTO", 0},
        {1, "0", "7", 8},        {4, "3", "", 4},         {4, "3", "x", 4},      {0, "auto", "", 0},
        {8, "7", "65534", 65535}, {-5, "-6", "Auto!", 0}, {-2147483647 - 1, "-2147483649", "1", 2},
    };
    for (const Case& test : cases) {
        SettingData restored = ValidSettings();
        restored.gopRefDist = test.gopRefDist;
        PluginSettings() = restored;
        Configure([&test](CDialogSetting& dialog, FakeControls& c) {
            EXPECT_EQ(c.Text(kBFrames), test.shown);
            c.Clear(kBFrames);
            c.Type(kBFrames, test.typed);
            c.Clear(kGopLength);
            c.Type(kGopLength, "120");
            c.Clear(kIdrInterval);
            c.Type(kIdrInterval, "2");
            Press(dialog, kOk);
            EXPECT_TRUE(c.messages.empty()) << c.messages.front();
        });
        EXPECT_EQ(Stored().gopRefDist, test.stored) << '"' << test.typed << '"';
        EXPECT_EQ(Stored().gopLength, 120);
        EXPECT_EQ(Stored().idrInterval, 2);
    }
}

// TestVideo asks the encoder with what the controls show, the export's
// coding-option buffers attached to Init (not to Query).
TEST_F(DialogTest, VideoTestSendsTheModeFieldsAndBuffers) {
    Configure([](CDialogSetting& dialog, FakeControls& c) {
        Pick(dialog, c, kRateControl, "LA");
        c.Clear(kLookAhead);
        c.Type(kLookAhead, "30");
        c.Clear(kBFrames);
        c.Type(kBFrames, "2");
        Press(dialog, kTestVideo);
        Pick(dialog, c, kRateControl, "QVBR");
        c.Clear(kQuality);
        c.Type(kQuality, "28");
        Press(dialog, kTestVideo);
        Press(dialog, kCancel);
    });
    ASSERT_EQ(sdkCalls.size(), 14u);
    const SdkCall& laQuery = sdkCalls[1];
    const SdkCall& laInit = sdkCalls[2];
    EXPECT_EQ(laQuery.param.NumExtParam, 0);
    EXPECT_EQ(laInit.param.mfx.RateControlMethod, MFX_RATECONTROL_LA);
    EXPECT_EQ(laInit.param.mfx.GopRefDist, 3);
    EXPECT_EQ(laInit.param.NumExtParam, 1);
    EXPECT_EQ(laInit.option2.LookAheadDepth, 30);
    const SdkCall& qvbrInit = sdkCalls[9];
    EXPECT_EQ(qvbrInit.param.mfx.RateControlMethod, MFX_RATECONTROL_QVBR);
    EXPECT_EQ(qvbrInit.param.NumExtParam, 1);
    EXPECT_EQ(qvbrInit.option3.QVBRQuality, 28);
    EXPECT_EQ(qvbrInit.option2.Header.BufferId, 0u);
}

TEST_F(DialogTest, UpgradedVersionTwoRecordRoundTripsThroughOk) {
    SettingData old = ValidSettings();
    SettingData upgraded;
    old.version = kSettingVersion2;
    ASSERT_EQ(ReadSettingBlock(&old, kSettingSize2, &upgraded), SettingBlock::kUpgraded);
    PluginSettings() = upgraded;
    Configure([](CDialogSetting& dialog, FakeControls& c) {
        EXPECT_EQ(c.Selected(kCodec), "H.264");
        EXPECT_EQ(c.Selected(kCodecLevel), "1b");
        Press(dialog, kOk);
    });
    EXPECT_TRUE(SameBytes(Stored(), upgraded));
}

TEST_F(DialogTest, PathsAreCutAt259AndOldBytesAfterTheNulStay) {
    SettingData valid = ValidSettings();
    PluginSettings() = valid;
    const std::string longPath = "C:\\" + std::string(257, 'p');  // 260 characters
    Configure([&longPath](CDialogSetting& dialog, FakeControls& c) {
        c.SetText(kAacEncoderPath, longPath.c_str());
        c.SetText(kMuxerPath, "M.exe");
        c.SetText(kTempFolder, "");
        Press(dialog, kOk);
    });
    const SettingData& stored = PluginSettings();
    EXPECT_EQ(std::string(stored.aacEncoderPath, 259), longPath.substr(0, 259));
    EXPECT_EQ(stored.aacEncoderPath[259], '\0');
    EXPECT_STREQ(stored.muxerPath, "M.exe");
    EXPECT_EQ(std::memcmp(stored.muxerPath + 6, valid.muxerPath + 6, kSettingPathSize - 6), 0);
    EXPECT_EQ(stored.tempFolder[0], '\0');
    EXPECT_EQ(std::memcmp(stored.tempFolder + 1, valid.tempFolder + 1, kSettingPathSize - 1), 0);
}

TEST_F(DialogTest, RestoredPathWithoutTerminatorIsShownCutAt259) {
    SettingData restored = ValidSettings();
    std::memset(restored.muxerPath, 'm', sizeof restored.muxerPath);
    PluginSettings() = restored;
    Configure([](CDialogSetting& dialog, FakeControls& c) {
        EXPECT_EQ(c.Text(kMuxerPath), std::string(259, 'm'));
        Press(dialog, kOk);
    });
    EXPECT_EQ(std::string(PluginSettings().muxerPath, 259), std::string(259, 'm'));
    EXPECT_EQ(PluginSettings().muxerPath[259], '\0');
}

TEST_F(DialogTest, BrowseButtonsReplaceTheTextOnlyWhenConfirmed) {
    PluginSettings() = ValidSettings();
    Configure([](CDialogSetting& dialog, FakeControls& c) {
        c.browseAnswers = {std::nullopt, std::string("/opt/nero/neroAacEnc.exe"), std::nullopt,
                           std::string("/opt/gpac/MP4Box.exe"), std::nullopt, std::string("/var/tmp")};
        Press(dialog, kBrowseAacEncoder);
        EXPECT_EQ(c.Text(kAacEncoderPath), "C:\\tools\\neroAacEnc.exe");
        Press(dialog, kBrowseAacEncoder);
        EXPECT_EQ(c.Text(kAacEncoderPath), "/opt/nero/neroAacEnc.exe");
        Press(dialog, kBrowseMuxer);
        EXPECT_EQ(c.Text(kMuxerPath), "C:\\tools\\MP4Box.exe");
        Press(dialog, kBrowseMuxer);
        EXPECT_EQ(c.Text(kMuxerPath), "/opt/gpac/MP4Box.exe");
        Press(dialog, kBrowseTempFolder);
        EXPECT_EQ(c.Text(kTempFolder), "D:\\temp");
        Press(dialog, kBrowseTempFolder);
        EXPECT_EQ(c.Text(kTempFolder), "/var/tmp");  // no separator appended
        EXPECT_FALSE(c.endCode.has_value());
        EXPECT_EQ(c.fileBrowses, (std::vector<std::string>{"neroAacEnc.exe", "neroAacEnc.exe", "MP4Box.exe",
                                                           "MP4Box.exe"}));
        EXPECT_EQ(c.folderBrowses,
                  (std::vector<std::string>{"Select temorary folder.", "Select temorary folder."}));
        Press(dialog, kOk);
    });
    EXPECT_STREQ(PluginSettings().aacEncoderPath, "/opt/nero/neroAacEnc.exe");
    EXPECT_STREQ(PluginSettings().muxerPath, "/opt/gpac/MP4Box.exe");
    EXPECT_STREQ(PluginSettings().tempFolder, "/var/tmp");
}

TEST_F(DialogTest, UnknownCommandsAndTheStandardOnesDoNothing) {
    Configure([](CDialogSetting& dialog, FakeControls& c) {
        EXPECT_FALSE(dialog.OnCommand(1));  // IDOK: Enter in an edit
        EXPECT_FALSE(dialog.OnCommand(2));  // IDCANCEL: Escape
        EXPECT_FALSE(dialog.OnCommand(kTargetKbps));
        EXPECT_FALSE(c.endCode.has_value());
        Press(dialog, kCancel);
    });
}

TEST_F(DialogTest, RunThatCannotStartLeavesTheSettings) {
    RunConfiguration(PluginSettings(), RunThatCannotStart);
    SettingData zero{};
    EXPECT_TRUE(SameBytes(Stored(), zero));
    SettingData valid = ValidSettings();
    PluginSettings() = valid;
    RunConfiguration(PluginSettings(), RunThatCannotStart);
    EXPECT_TRUE(SameBytes(Stored(), valid));
}

TEST_F(DialogTest, VideoTestReadsTheControlsAndChangesNothing) {
    SettingData valid = ValidSettings();
    PluginSettings() = valid;
    Configure([](CDialogSetting& dialog, FakeControls& c) {
        c.Choose(kHardware, "2");
        c.Choose(kCodecProfile, "BASELINE");
        c.Choose(kCodecLevel, "3.1");
        c.Choose(kTargetUsage, "BALANCED");
        c.Choose(kRateControl, "VBR");
        c.Clear(kTargetKbps);
        c.Type(kTargetKbps, "70000");  // beyond 16 bits
        c.Clear(kMaxKbps);             // no number: the value OK would keep
        SettingData before = dialog.setting;
        Press(dialog, kTestVideo);
        EXPECT_TRUE(SameBytes(dialog.setting, before));
        ASSERT_EQ(c.messages.size(), 1u);
        EXPECT_EQ(c.messages[0].substr(0, c.messages[0].find('\n')), "Success TestVideoParam");
        EXPECT_NE(c.messages[0].find("\nAdapter: HARDWARE2\n"), std::string::npos);
        EXPECT_EQ(c.Selected(kHardware), "2");
        EXPECT_EQ(c.Text(kTargetKbps), "70000");
        EXPECT_FALSE(c.endCode.has_value());
        Press(dialog, kCancel);
    });
    EXPECT_TRUE(SameBytes(Stored(), valid));
    EXPECT_EQ(SdkCallNames(),
              (std::vector<std::string>{"MFXInit", "MFXVideoENCODE_Query", "MFXVideoENCODE_Init", "MFXQueryVersion",
                                        "MFXQueryIMPL", "MFXVideoENCODE_GetVideoParam", "MFXClose"}));
    ASSERT_GE(sdkCalls.size(), 2u);
    EXPECT_EQ(sdkCalls[0].impl, 5);
    const mfxVideoParam& p = sdkCalls[1].param;
    EXPECT_EQ(p.mfx.CodecProfile, 66);
    EXPECT_EQ(p.mfx.CodecLevel, 31);
    EXPECT_EQ(p.mfx.TargetUsage, 4);
    EXPECT_EQ(p.mfx.RateControlMethod, 2);
    // 70000 kbps in units of 2 kbps, as the user typed it.
    EXPECT_EQ(p.mfx.BRCParamMultiplier, 2);
    EXPECT_EQ(p.mfx.TargetKbps, 35000);
    EXPECT_EQ(p.mfx.MaxKbps, 2000);
    EXPECT_EQ(p.mfx.FrameInfo.Width, 320);
    EXPECT_EQ(p.mfx.FrameInfo.Height, 240);
    EXPECT_EQ(p.mfx.FrameInfo.CropW, 320);
    EXPECT_EQ(p.mfx.FrameInfo.CropH, 240);
    EXPECT_EQ(p.mfx.FrameInfo.FrameRateExtN, 30u);
    EXPECT_EQ(p.mfx.FrameInfo.FrameRateExtD, 1u);
    EXPECT_EQ(p.mfx.FrameInfo.FourCC, static_cast<mfxU32>(MFX_FOURCC_NV12));
    EXPECT_EQ(p.mfx.FrameInfo.PicStruct, MFX_PICSTRUCT_PROGRESSIVE);
    EXPECT_EQ(p.mfx.FrameInfo.ChromaFormat, MFX_CHROMAFORMAT_YUV420);
    EXPECT_EQ(p.mfx.CodecId, static_cast<mfxU32>(MFX_CODEC_AVC));
    EXPECT_EQ(p.IOPattern, MFX_IOPATTERN_IN_SYSTEM_MEMORY);
    EXPECT_EQ(p.AsyncDepth, 0);
    EXPECT_EQ(p.mfx.GopPicSize, 0);
    EXPECT_EQ(p.mfx.NumRefFrame, 0);
    EXPECT_EQ(p.NumExtParam, 0);
    EXPECT_EQ(p.ExtParam, nullptr);
}

}  // namespace
