// The settings dialog's logic: which rows the lists hold, how a record becomes
// control contents and back, the defaults, and the button handlers. The
// window itself (Win32 template or FLTK) is run by RunSettingDialog and
// reaches the logic through OnInitDialog and OnCommand.
#pragma once
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
    // level belong to it (FitSettingsToCodec), a profile brings its bit depth
    // (ChooseProfile); the lists that follow the codec then show the result.
    bool OnSelectionChange(int id);

    // Shows `data` in the controls; the lists that follow the codec get the
    // rows of `data`'s codec. A value that no row of a list holds leaves that
    // list's selection as it is.
    void SettingToControls(const SettingData& data);
    // Stores the controls' contents into `data`; `version` is left alone, and
    // so is the field of a list without a selection, a bit rate whose edit
    // holds no number, and every byte of a text field after the new NUL.
    void ControlsToSetting(SettingData& data);

    void OnOk();
    void OnCancel();
    void OnBrowseAacEncoder();
    void OnBrowseMuxer();
    void OnBrowseTempFolder();
    // TestVideo: tries the shown video choices on the chosen adapter and
    // shows the verdict in a message box. Changes nothing.
    void TestVideoParam();

    // The record the video test uses: `setting` with the controls stored over
    // it, i.e. exactly what OK would store now.
    SettingData TestSetting();

private:
    void BrowseForProgram(int editId, const char* program);
    void ShowLists(const SettingData& data);

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
