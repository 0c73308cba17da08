// What the settings dialog needs of the window system. The dialog logic talks
// to its window only through this, so the logic runs the same on every
// toolkit and under test without a window.
#pragma once
#include <cstddef>

// Control ids of the settings dialog template (resource 100).
namespace dialog_id {
inline constexpr int kTemplate = 100;
inline constexpr int kOk = 1001;
inline constexpr int kHardware = 1002;
inline constexpr int kCodecProfile = 1003;
inline constexpr int kCodecLevel = 1004;
inline constexpr int kTargetUsage = 1005;
inline constexpr int kRateControl = 1006;
inline constexpr int kTargetKbps = 1007;
inline constexpr int kMaxKbps = 1008;
inline constexpr int kAacEncoderPath = 1009;
inline constexpr int kBrowseAacEncoder = 1010;
inline constexpr int kAudioBitRate = 1011;
inline constexpr int kMuxerPath = 1012;
inline constexpr int kBrowseMuxer = 1013;
inline constexpr int kTempFolder = 1014;
inline constexpr int kBrowseTempFolder = 1015;
inline constexpr int kCancel = 1016;
inline constexpr int kTestVideo = 1017;
inline constexpr int kCodec = 1018;
inline constexpr int kBitDepth = 1019;
// The rate-control group's fields and the GOP group.
inline constexpr int kQpI = 1020;
inline constexpr int kQpP = 1021;
inline constexpr int kQpB = 1022;
inline constexpr int kQuality = 1023;
inline constexpr int kLookAhead = 1024;
inline constexpr int kAvbrAccuracy = 1025;
inline constexpr int kAvbrConvergence = 1026;
inline constexpr int kGopLength = 1027;
inline constexpr int kBFrames = 1028;
inline constexpr int kIdrInterval = 1029;
}  // namespace dialog_id

// Size of every text buffer the dialog reads into: 259 characters and a NUL.
inline constexpr size_t kDialogTextSize = 260;

// Operations on the controls of one open dialog, by control id. All are
// called on the dialog's (the host's user-interface) thread.
class IDialogControls {
public:
    // Appends a row to a list (CB_ADDSTRING).
    virtual void AddString(int id, const char* label) = 0;
    // Removes every row of a list and its selection (CB_RESETCONTENT).
    virtual void ResetContent(int id) = 0;
    // Selects a row of a list (CB_SETCURSEL).
    virtual void SetCurSel(int id, int row) = 0;
    // The selected row of a list, -1 when none (CB_GETCURSEL).
    virtual int GetCurSel(int id) = 0;
    // Limits how many characters the user can type into an edit
    // (EM_LIMITTEXT); text set by the program is not limited.
    virtual void LimitText(int id, int length) = 0;
    // Replaces an edit's text (SetWindowTextA).
    virtual void SetText(int id, const char* text) = 0;
    // Reads an edit's text: at most size - 1 characters and a NUL
    // (GetWindowTextA).
    virtual void GetText(int id, char* buffer, size_t size) = 0;
    // Lets the user operate a control, or greys it (EnableWindow).
    virtual void EnableControl(int id, bool enabled) = 0;
    // Ends the modal run with `code` once the handler returns (EndDialog).
    virtual void EndDialog(int code) = 0;

    // The system's open-file dialog for one program (GetOpenFileNameA): the
    // filter offers `program` itself, then "*.exe"; the name box starts with
    // `program`. True and the full path in `path` when the user confirmed a
    // file whose path fits; false (and `path` unspecified) otherwise.
    virtual bool BrowseForFile(const char* program, char (&path)[kDialogTextSize]) = 0;
    // The system's folder browser (SHBrowseForFolderA, SHGetPathFromIDListA)
    // titled `title`. True and the folder's path when the user chose a
    // file-system folder whose path fits.
    virtual bool BrowseForFolder(const char* title, char (&path)[kDialogTextSize]) = 0;
    // A message box owned by the dialog, empty caption, one OK button, no
    // icon; returns once dismissed (MessageBoxA with MB_OK).
    virtual void ShowMessage(const char* text) = 0;

protected:
    ~IDialogControls() = default;
};
