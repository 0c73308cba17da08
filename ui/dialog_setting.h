// The settings dialog's logic: which rows the lists hold, how a record becomes
// control contents and back, the defaults, and the button handlers. The
// window itself (Win32 template or FLTK) is run by RunSettingDialog and
// reaches the logic through OnInitDialog and OnCommand.
#pragma once
#include <string>

#include "core/setting_data.h"
#include "ui/dialog_controls.h"

struct CodecInfo;

class CDialogSetting {
public:
    CDialogSetting() = default;
    CDialogSetting(const CDialogSetting&) = delete;
    CDialogSetting& operator=(const CDialogSetting&) = delete;

    // Set at the very end of OnInitDialog, once the controls are filled.
    bool dialogInitialized = false;
    // `setting` holds a record to show: set by the configuration entry when
    // it copied valid current settings in, or by OnInitDialog's defaults.
    bool settingLoaded = false;
    // The record being edited. Written by OnInitDialog (defaults) and OK.
    SettingData setting{};

    // The window's controls while it is open; the window backend attaches
    // them before OnInitDialog and detaches them when the run ends.
    void Attach(IDialogControls* controls) { this->controls = controls; }

    // WM_INITDIALOG: fills the lists, limits the bit-rate edits, builds the
    // default record when none was loaded, shows `setting`.
    bool OnInitDialog();
    // A click (BN_CLICKED) on the control `id`; false for ids without a
    // handler.
    bool OnCommand(int id);
    // The user chose another row of the list `id` (CBN_SELCHANGE); false for
    // lists without a handler. A codec or bit depth makes the profile and
    // level belong to it (FitSettingsToCodec), a codec keeps the mode shown
    // when it has it and otherwise takes the default record's (VBR), a
    // profile brings its bit depth (ChooseProfile); the lists that follow the
    // codec then show the result, and the edits the mode reads are enabled.
    bool OnSelectionChange(int id);

    // Shows `data` in the controls; the lists that follow the codec get the
    // rows of `data`'s codec. A value that no row of a list holds leaves that
    // list's selection as it is. The edits of the rate control that `data`'s
    // mode does not read are greyed.
    void SettingToControls(const SettingData& data);
    // Stores the controls' contents into `data`; `version` is left alone, and
    // so is the field of a list without a selection, of a greyed edit, of an
    // edit that holds no number, and every byte of a text field after the
    // new NUL. Returns "" or, for the first edit in use whose value is out of
    // its range, the message that names it and the range ("QP I 60 is
    // outside 1 to 51 for H.264."); the value is stored all the same.
    std::string ControlsToSetting(SettingData& data);

    // Stores the controls into `setting` and ends the run; a value out of
    // range instead shows ControlsToSetting's message and changes nothing.
    void OnOk();
    void OnCancel();
    void OnBrowseAacEncoder();
    void OnBrowseMuxer();
    void OnBrowseTempFolder();
    // TestVideo: tries the shown video choices on the chosen adapter and
    // shows the verdict in a message box, or the message OK would show for a
    // value out of range. Changes nothing.
    void TestVideoParam();

    // The record the video test uses: `setting` with the controls stored over
    // it, i.e. exactly what OK would store now.
    SettingData TestSetting();

private:
    void BrowseForProgram(int editId, const char* program);
    void ShowLists(const SettingData& data);
    // Enables the edits `rateControl` reads and greys the others.
    void ShowFieldsInUse(int32_t rateControl);

    IDialogControls* controls = nullptr;
    // The codec whose rows the profile, level and bit-depth lists hold; null
    // before they are filled.
    const CodecInfo* listedCodec = nullptr;
};

// The platform's modal run of the dialog from template 100, owned by the
// active window. Returns the end code, or -1 when the run could not start
// (then OnInitDialog was never called).
int RunSettingDialog(CDialogSetting& dialog);

// The configuration entry's steps around one modal run: start from the
// front end's `current` settings when valid, run, and copy the record back
// when the dialog was initialised. `runModal` is RunSettingDialog outside
// tests. Returns the run's end code: dialog_id::kOk after OK.
int RunConfiguration(SettingData& current, int (*runModal)(CDialogSetting&));
