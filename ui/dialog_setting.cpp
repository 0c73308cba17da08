#include "ui/dialog_setting.h"

#include <cstdio>
#include <cstring>

#include "encode/codec.h"
#include "ui/choice_tables.h"

namespace {

// The typing limit of the two bit-rate edits; text set by the program is
// shown whole.
constexpr int kKbpsTypingLimit = 5;

// A list of values; its rows depend on the codec shown when it follows the
// codec, and are filled once otherwise.
struct ValueList {
    int id;
    const ChoiceRow* (*rows)(const CodecInfo& codec);
    int32_t SettingData::*field;
    bool followsCodec;
};

constexpr ValueList kValueLists[] = {
    {dialog_id::kHardware, [](const CodecInfo&) { return +kHardwareChoices; }, &SettingData::hardwareImpl, false},
    {dialog_id::kCodec, [](const CodecInfo&) { return CodecChoices(); }, &SettingData::codec, false},
    {dialog_id::kCodecProfile, CodecProfileChoices, &SettingData::codecProfile, true},
    {dialog_id::kBitDepth, BitDepthChoices, &SettingData::bitDepth, true},
    {dialog_id::kCodecLevel, CodecLevelChoices, &SettingData::codecLevel, true},
    {dialog_id::kTargetUsage, [](const CodecInfo&) { return +kTargetUsageChoices; }, &SettingData::targetUsage, false},
    {dialog_id::kRateControl, [](const CodecInfo&) { return +kRateControlChoices; }, &SettingData::rateControl, false},
};

int TableRows(const ChoiceRow* rows) {
    int count = 0;
    while (rows[count].label != nullptr) ++count;
    return count;
}

int TableRows(const AudioChoiceRow* rows) {
    int count = 0;
    while (rows[count].label != nullptr) ++count;
    return count;
}

void FillList(IDialogControls& controls, int id, const ChoiceRow* rows) {
    for (const ChoiceRow* row = rows; row->label != nullptr; ++row) controls.AddString(id, row->label);
}

void ShowNumber(IDialogControls& controls, int id, int32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%d", value);
    controls.SetText(id, text);
}

// Reads an edit as "%5d" does: white space skipped, then an optionally signed
// decimal number of at most five characters. The field keeps its value when
// no number is there.
void ReadNumber(IDialogControls& controls, int id, int32_t& field) {
    char text[kDialogTextSize] = {};
    controls.GetText(id, text, sizeof text);
    text[kDialogTextSize - 1] = '\0';
    int value;
    if (std::sscanf(text, "%5d", &value) == 1) field = value;
}

void ShowText(IDialogControls& controls, int id, const char (&field)[kSettingPathSize]) {
    char text[kSettingPathSize];
    ReadSettingText(field, text);
    controls.SetText(id, text);
}

// Copies the edit's text and its NUL into the field; bytes after the NUL keep
// what they held.
void ReadText(IDialogControls& controls, int id, char (&field)[kSettingPathSize]) {
    char text[kDialogTextSize] = {};
    controls.GetText(id, text, sizeof text);
    size_t length = strnlen(text, kDialogTextSize - 1);
    std::memcpy(field, text, length);
    field[length] = '\0';
}

}  // namespace

bool CDialogSetting::OnInitDialog() {
    using namespace dialog_id;
    listedCodec = nullptr;
    for (const ValueList& list : kValueLists) {
        if (!list.followsCodec) FillList(*controls, list.id, list.rows(AvcCodec()));
    }
    controls->LimitText(kTargetKbps, kKbpsTypingLimit);
    controls->LimitText(kMaxKbps, kKbpsTypingLimit);
    for (const AudioChoiceRow* row = kAudioBitRateChoices; row->label != nullptr; ++row) {
        controls->AddString(kAudioBitRate, row->label);
    }
    if (!settingLoaded) {
        setting = DefaultSettingData();
        settingLoaded = true;
    }
    SettingToControls(setting);
    dialogInitialized = true;
    return true;  // focus goes to the first tab stop, OK
}

bool CDialogSetting::OnCommand(int id) {
    switch (id) {
        case dialog_id::kOk: OnOk(); return true;
        case dialog_id::kCancel: OnCancel(); return true;
        case dialog_id::kBrowseAacEncoder: OnBrowseAacEncoder(); return true;
        case dialog_id::kBrowseMuxer: OnBrowseMuxer(); return true;
        case dialog_id::kBrowseTempFolder: OnBrowseTempFolder(); return true;
        case dialog_id::kTestVideo: TestVideoParam(); return true;
        default: return false;
    }
}

bool CDialogSetting::OnSelectionChange(int id) {
    if (listedCodec == nullptr) return false;  // before OnInitDialog
    // What the controls show now, made to fit the new choice; the record
    // itself waits for OK.
    SettingData shown = TestSetting();
    switch (id) {
        case dialog_id::kCodec:
        case dialog_id::kBitDepth: FitSettingsToCodec(shown); break;
        case dialog_id::kCodecProfile:
            if (const CodecProfile* profile = FindProfile(*listedCodec, shown.codecProfile)) {
                ChooseProfile(shown, *profile);
            }
            break;
        default: return false;
    }
    ShowLists(shown);
    return true;
}

// The lists that follow the codec are rebuilt only when the codec changes, so
// a list is never emptied under the user's own choice in it.
void CDialogSetting::ShowLists(const SettingData& data) {
    const CodecInfo& codec = SettingsCodec(data);
    const bool rebuild = &codec != listedCodec;
    listedCodec = &codec;
    for (const ValueList& list : kValueLists) {
        const ChoiceRow* rows = list.rows(codec);
        if (rebuild && list.followsCodec) {
            controls->ResetContent(list.id);
            FillList(*controls, list.id, rows);
        }
        for (int row = 0; rows[row].label != nullptr; ++row) {
            if (rows[row].value == data.*list.field) {
                controls->SetCurSel(list.id, row);
                break;
            }
        }
    }
}

void CDialogSetting::SettingToControls(const SettingData& data) {
    ShowLists(data);
    ShowNumber(*controls, dialog_id::kTargetKbps, data.targetKbps);
    ShowNumber(*controls, dialog_id::kMaxKbps, data.maxKbps);
    ShowText(*controls, dialog_id::kAacEncoderPath, data.aacEncoderPath);
    for (int row = 0; kAudioBitRateChoices[row].label != nullptr; ++row) {
        if (kAudioBitRateChoices[row].profile == data.aacProfile &&
            kAudioBitRateChoices[row].kbps == data.aacKbps) {
            controls->SetCurSel(dialog_id::kAudioBitRate, row);
            break;
        }
    }
    ShowText(*controls, dialog_id::kMuxerPath, data.muxerPath);
    ShowText(*controls, dialog_id::kTempFolder, data.tempFolder);
}

void CDialogSetting::ControlsToSetting(SettingData& data) {
    // A list without a selection (a restored value no row holds) leaves its
    // field as it was rather than inventing one the user never saw chosen.
    for (const ValueList& list : kValueLists) {
        if (listedCodec == nullptr) break;  // nothing is listed before OnInitDialog
        const ChoiceRow* rows = list.rows(*listedCodec);
        int row = controls->GetCurSel(list.id);
        if (row >= 0 && row < TableRows(rows)) data.*list.field = rows[row].value;
    }
    ReadNumber(*controls, dialog_id::kTargetKbps, data.targetKbps);
    ReadNumber(*controls, dialog_id::kMaxKbps, data.maxKbps);
    int row = controls->GetCurSel(dialog_id::kAudioBitRate);
    if (row >= 0 && row < TableRows(kAudioBitRateChoices)) {
        data.aacProfile = kAudioBitRateChoices[row].profile;
        data.aacKbps = kAudioBitRateChoices[row].kbps;
    }
    ReadText(*controls, dialog_id::kAacEncoderPath, data.aacEncoderPath);
    ReadText(*controls, dialog_id::kMuxerPath, data.muxerPath);
    ReadText(*controls, dialog_id::kTempFolder, data.tempFolder);
}

void CDialogSetting::OnOk() {
    ControlsToSetting(setting);
    controls->EndDialog(dialog_id::kOk);
}

void CDialogSetting::OnCancel() { controls->EndDialog(dialog_id::kCancel); }

void CDialogSetting::BrowseForProgram(int editId, const char* program) {
    char path[kDialogTextSize] = {};
    if (controls->BrowseForFile(program, path)) {
        path[kDialogTextSize - 1] = '\0';
        controls->SetText(editId, path);
    }
}

void CDialogSetting::OnBrowseAacEncoder() { BrowseForProgram(dialog_id::kAacEncoderPath, "neroAacEnc.exe"); }

void CDialogSetting::OnBrowseMuxer() { BrowseForProgram(dialog_id::kMuxerPath, "MP4Box.exe"); }

void CDialogSetting::OnBrowseTempFolder() {
    char path[kDialogTextSize] = {};
    if (controls->BrowseForFolder("Select temorary folder.", path)) {
        path[kDialogTextSize - 1] = '\0';
        controls->SetText(dialog_id::kTempFolder, path);
    }
}

SettingData CDialogSetting::TestSetting() {
    SettingData data = setting;
    ControlsToSetting(data);
    return data;
}
