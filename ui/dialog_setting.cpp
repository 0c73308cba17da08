#include "ui/dialog_setting.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

#include "encode/codec.h"
#include "encode/rate_control.h"
#include "ui/choice_tables.h"
#include "ui/video_test.h"

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
    {dialog_id::kRateControl, RateControlChoices, &SettingData::rateControl, true},
};

// A number edit of the rate control or the GOP. The mode shown decides which
// are in use; the others are greyed, and OK leaves their fields as they were.
struct NumberEdit {
    int id;
    const char* name;  // as the dialog's labels say it, for the range message
    int32_t SettingData::*field;
    int typingLimit;
    // The mode's flag that makes it used; null for the GOP's, which every
    // mode reads.
    bool RateControlMode::*usedBy;
    // What OK takes; null for the bit rates, which are stored unchecked as
    // they always were (the export refuses what it cannot take).
    FieldRange (*range)(const CodecInfo& codec);
    // B-frames: shown as gopRefDist - 1, and gopRefDist 0 as "auto".
    bool bFrames;
};

template <const FieldRange& kRange>
FieldRange Fixed(const CodecInfo&) {
    return kRange;
}
FieldRange Qp(const CodecInfo& codec) { return QpRange(codec.id); }

constexpr NumberEdit kNumberEdits[] = {
    {dialog_id::kTargetKbps, "TargetKbps", &SettingData::targetKbps, kKbpsTypingLimit, &RateControlMode::usesTargetKbps,
     nullptr, false},
    {dialog_id::kMaxKbps, "MaxKbps", &SettingData::maxKbps, kKbpsTypingLimit, &RateControlMode::usesMaxKbps, nullptr,
     false},
    {dialog_id::kQpI, "QP I", &SettingData::qpI, 3, &RateControlMode::usesQp, Qp, false},
    {dialog_id::kQpP, "QP P", &SettingData::qpP, 3, &RateControlMode::usesQp, Qp, false},
    {dialog_id::kQpB, "QP B", &SettingData::qpB, 3, &RateControlMode::usesQp, Qp, false},
    {dialog_id::kQuality, "Quality", &SettingData::quality, 2, &RateControlMode::usesQuality, Fixed<kQualityRange>,
     false},
    {dialog_id::kLookAhead, "LookAhead", &SettingData::lookAheadDepth, 3, &RateControlMode::usesLookAhead,
     Fixed<kLookAheadRange>, false},
    {dialog_id::kAvbrAccuracy, "Accuracy", &SettingData::avbrAccuracy, 5, &RateControlMode::usesAccuracy,
     Fixed<kAvbrAccuracyRange>, false},
    {dialog_id::kAvbrConvergence, "Convergence", &SettingData::avbrConvergence, 5, &RateControlMode::usesAccuracy,
     Fixed<kAvbrConvergenceRange>, false},
    {dialog_id::kGopLength, "GopLength", &SettingData::gopLength, 5, nullptr, Fixed<kGopLengthRange>, false},
    {dialog_id::kBFrames, "BFrames", &SettingData::gopRefDist, 5, nullptr, Fixed<kBFramesRange>, true},
    {dialog_id::kIdrInterval, "IdrInterval", &SettingData::idrInterval, 5, nullptr, Fixed<kIdrIntervalRange>, false},
};

// Whether the mode reads the edit's field; a mode the table does not hold
// (a restored record's) leaves every field in use.
bool EditInUse(const NumberEdit& edit, int32_t rateControl) {
    const RateControlMode* mode = FindRateControl(rateControl);
    return edit.usedBy == nullptr || mode == nullptr || mode->*edit.usedBy;
}

// A codec takes the mode shown when it has it; otherwise the default
// record's mode, or failing that the codec's first.
void FitRateControlToCodec(SettingData& data) {
    const CodecInfo& codec = SettingsCodec(data);
    if (CodecTakesRateControl(codec, data.rateControl)) return;
    const int32_t fallback = DefaultSettingData().rateControl;
    data.rateControl = CodecTakesRateControl(codec, fallback) ? fallback : codec.rateControls.front();
}

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

void ShowNumber(IDialogControls& controls, int id, int64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "%lld", static_cast<long long>(value));
    controls.SetText(id, text);
}

// Reads an edit as "%5d" does: white space skipped, then an optionally signed
// decimal number of at most five characters. The field keeps its value when
// no number is there. B-frames take "auto" as well (gopRefDist 0) and are
// stored plus one.
void ReadNumber(IDialogControls& controls, const NumberEdit& edit, SettingData& data) {
    char text[kDialogTextSize] = {};
    controls.GetText(edit.id, text, sizeof text);
    text[kDialogTextSize - 1] = '\0';
    int value;
    if (std::sscanf(text, "%5d", &value) == 1) {
        data.*edit.field = edit.bFrames ? value + 1 : value;
        return;
    }
    const char* word = text;
    while (std::isspace(static_cast<unsigned char>(*word))) ++word;
    std::string lower;
    for (size_t i = 0; i < 4 && word[i] != '\0'; ++i) {
        lower += static_cast<char>(std::tolower(static_cast<unsigned char>(word[i])));
    }
    if (edit.bFrames && lower == "auto") data.*edit.field = 0;
}

void ShowNumber(IDialogControls& controls, const NumberEdit& edit, const SettingData& data) {
    const int32_t value = data.*edit.field;
    if (edit.bFrames && value == 0) {
        controls.SetText(edit.id, "auto");
    } else {
        ShowNumber(controls, edit.id, edit.bFrames ? static_cast<int64_t>(value) - 1 : value);
    }
}

// "QP I 60 is outside 1 to 51 for H.264.", or "" for a value in range.
std::string RangeProblem(const NumberEdit& edit, const CodecInfo& codec, const SettingData& data) {
    if (edit.range == nullptr) return {};
    const FieldRange range = edit.range(codec);
    const int32_t stored = data.*edit.field;
    if (edit.bFrames ? stored == 0 || range.Holds(static_cast<int32_t>(static_cast<int64_t>(stored) - 1))
                     : range.Holds(stored)) {
        return {};
    }
    const int64_t shown = edit.bFrames ? static_cast<int64_t>(stored) - 1 : stored;
    std::string text = std::string(edit.name) + " " + std::to_string(shown) + " is outside " +
                       std::to_string(range.low) + " to " + std::to_string(range.high);
    if (range.zeroIsAuto) text += " (or 0, the runtime's choice)";
    if (edit.bFrames) text += " (or auto, the runtime's choice)";
    if (edit.range == Qp) text += std::string(" for ") + codec.name;
    return text + ".";
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
    for (const NumberEdit& edit : kNumberEdits) controls->LimitText(edit.id, edit.typingLimit);
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
            FitSettingsToCodec(shown);
            FitRateControlToCodec(shown);
            break;
        case dialog_id::kBitDepth: FitSettingsToCodec(shown); break;
        case dialog_id::kCodecProfile:
            if (const CodecProfile* profile = FindProfile(*listedCodec, shown.codecProfile)) {
                ChooseProfile(shown, *profile);
            }
            break;
        case dialog_id::kRateControl: break;
        default: return false;
    }
    ShowLists(shown);
    ShowFieldsInUse(shown.rateControl);
    return true;
}

void CDialogSetting::ShowFieldsInUse(int32_t rateControl) {
    for (const NumberEdit& edit : kNumberEdits) controls->EnableControl(edit.id, EditInUse(edit, rateControl));
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
    for (const NumberEdit& edit : kNumberEdits) ShowNumber(*controls, edit, data);
    ShowFieldsInUse(data.rateControl);
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

std::string CDialogSetting::ControlsToSetting(SettingData& data) {
    // A list without a selection (a restored value no row holds) leaves its
    // field as it was rather than inventing one the user never saw chosen.
    for (const ValueList& list : kValueLists) {
        if (listedCodec == nullptr) break;  // nothing is listed before OnInitDialog
        const ChoiceRow* rows = list.rows(*listedCodec);
        int row = controls->GetCurSel(list.id);
        if (row >= 0 && row < TableRows(rows)) data.*list.field = rows[row].value;
    }
    // The lists come first: the mode they show decides which edits count.
    std::string problem;
    for (const NumberEdit& edit : kNumberEdits) {
        if (!EditInUse(edit, data.rateControl)) continue;
        ReadNumber(*controls, edit, data);
        if (problem.empty()) problem = RangeProblem(edit, SettingsCodec(data), data);
    }
    int row = controls->GetCurSel(dialog_id::kAudioBitRate);
    if (row >= 0 && row < TableRows(kAudioBitRateChoices)) {
        data.aacProfile = kAudioBitRateChoices[row].profile;
        data.aacKbps = kAudioBitRateChoices[row].kbps;
    }
    ReadText(*controls, dialog_id::kAacEncoderPath, data.aacEncoderPath);
    ReadText(*controls, dialog_id::kMuxerPath, data.muxerPath);
    ReadText(*controls, dialog_id::kTempFolder, data.tempFolder);
    return problem;
}

void CDialogSetting::OnOk() {
    // A value out of range keeps the dialog open, and `setting` as it was.
    SettingData data = setting;
    const std::string problem = ControlsToSetting(data);
    if (!problem.empty()) {
        controls->ShowMessage(problem.c_str());
        return;
    }
    setting = data;
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

void CDialogSetting::TestVideoParam() {
    // What OK would refuse is not tested: the box says what OK would.
    SettingData data = setting;
    const std::string problem = ControlsToSetting(data);
    const std::string text = problem.empty() ? RunVideoParamTest(data) : problem;
    controls->ShowMessage(text.c_str());
}
