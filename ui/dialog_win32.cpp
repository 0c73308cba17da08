// The settings dialog on Win32: a modal dialog from template 100 of this
// module. The least dialog base that serves: WM_INITDIALOG, BN_CLICKED and
// CBN_SELCHANGE by id go to the dialog logic, everything else to the dialog
// manager.
// With TARVO_UTF8_PATHS (the .auo2) the dialog is a Unicode window and the
// record's texts are UTF-8, so any path shows and is stored as typed; the
// .auo's dialog is an ANSI one, its texts in the ANSI code page. The .auo2's
// texts are also shown in the user's language (ui/texts.h) when the editor
// gave a translation: labels, list rows, the browsers' titles and messages.
#include <windows.h>
#include <commdlg.h>
#include <shlobj.h>

#include <cstring>
#include <optional>
#include <string>

#include "platform/utf16_win32.h"
#include "ui/dialog_setting.h"
#include "ui/texts.h"

namespace {

// OFN_FILEMUSTEXIST | OFN_READONLY | OFN_EXPLORER | OFN_ENABLESIZING | OFN_ENABLEHOOK
constexpr DWORD kOpenFileFlags = OFN_FILEMUSTEXIST | OFN_READONLY | OFN_EXPLORER | OFN_ENABLESIZING | OFN_ENABLEHOOK;
static_assert(kOpenFileFlags == 0x881021);

HMODULE ThisModule() {
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&ThisModule), &module);
    return module;
}

// The open-file dialog's hook: present so the dialog is hooked as the
// framework's is, adding nothing.
UINT_PTR CALLBACK OpenFileHook(HWND, UINT, WPARAM, LPARAM) { return 0; }

// The folder browser's callback: no initial selection.
int CALLBACK BrowseCallback(HWND, UINT, LPARAM, LPARAM) { return 0; }

bool CopyPath(const char* chosen, char (&path)[kDialogTextSize]) {
    size_t length = strnlen(chosen, kDialogTextSize);
    if (length == 0 || length >= kDialogTextSize) return false;
    std::memcpy(path, chosen, length + 1);
    return true;
}

#ifdef TARVO_UTF8_PATHS
using platform::Utf8ToWide;
using platform::WideToUtf8;

// `text` into a buffer of `size` bytes, cut at a character's start.
void CopyUtf8(const std::string& text, char* buffer, size_t size) {
    size_t length = text.size() < size ? text.size() : size - 1;
    while (length > 0 && length < text.size() && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) --length;
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
}

// `window`'s text in the user's language, when it has a translation.
void TranslateWindowText(HWND window) {
    wchar_t text[kDialogTextSize] = {};
    if (GetWindowTextW(window, text, static_cast<int>(kDialogTextSize)) <= 0) return;
    const std::string english = WideToUtf8(text);
    const char* shown = ShownTexts().Text(english.c_str());
    if (shown != english.c_str()) SetWindowTextW(window, Utf8ToWide(shown).c_str());
}

// The template's labels, buttons and group boxes (the edits and lists hold
// the user's data, filled by the logic).
BOOL CALLBACK TranslateLabel(HWND control, LPARAM) {
    wchar_t className[16] = {};
    GetClassNameW(control, className, 16);
    if (lstrcmpiW(className, L"Button") == 0 || lstrcmpiW(className, L"Static") == 0) TranslateWindowText(control);
    return TRUE;
}

void TranslateTemplate(HWND window) {
    TranslateWindowText(window);
    EnumChildWindows(window, TranslateLabel, 0);
}
#endif

class Win32Controls : public IDialogControls {
public:
    explicit Win32Controls(HWND window) : window_(window) {
        // The controls the logic reads and writes, fetched once.
        for (int id : kHeldIds) items_[id - kFirstId] = GetDlgItem(window, id);
    }

#ifdef TARVO_UTF8_PATHS
    void AddString(int id, const char* label) override {
        const std::wstring shown = Utf8ToWide(ShownTexts().Text(label));
        SendMessageW(Item(id), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(shown.c_str()));
    }
    void SetText(int id, const char* text) override { SetWindowTextW(Item(id), Utf8ToWide(text).c_str()); }
    void GetText(int id, char* buffer, size_t size) override {
        wchar_t wide[kDialogTextSize] = {};
        GetWindowTextW(Item(id), wide, static_cast<int>(kDialogTextSize));
        CopyUtf8(WideToUtf8(wide), buffer, size);
    }
#else
    void AddString(int id, const char* label) override {
        SendMessageA(Item(id), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(label));
    }
    void SetText(int id, const char* text) override { SetWindowTextA(Item(id), text); }
    void GetText(int id, char* buffer, size_t size) override {
        buffer[0] = '\0';
        GetWindowTextA(Item(id), buffer, static_cast<int>(size));
        buffer[size - 1] = '\0';
    }
#endif
    void ResetContent(int id) override { SendMessageA(Item(id), CB_RESETCONTENT, 0, 0); }
    void SetCurSel(int id, int row) override { SendMessageA(Item(id), CB_SETCURSEL, static_cast<WPARAM>(row), 0); }
    int GetCurSel(int id) override { return static_cast<int>(SendMessageA(Item(id), CB_GETCURSEL, 0, 0)); }
    void LimitText(int id, int length) override {
        SendMessageA(Item(id), EM_LIMITTEXT, static_cast<WPARAM>(length), 0);
    }
    void EnableControl(int id, bool enabled) override { EnableWindow(Item(id), enabled ? TRUE : FALSE); }
    void EndDialog(int code) override { ::EndDialog(window_, code); }

#ifdef TARVO_UTF8_PATHS
    bool BrowseForFile(const char* program, char (&path)[kDialogTextSize]) override {
        // "<program>\0<program>\0Executable File (*.exe)\0*.exe\0\0"
        const std::wstring name = Utf8ToWide(program);
        std::wstring filter = name + L'\0' + name + L'\0' + Utf8ToWide(ShownTexts().Text("Executable File (*.exe)")) +
                              L'\0' + L"*.exe" + L'\0';
        wchar_t file[kDialogTextSize] = {};
        name.copy(file, kDialogTextSize - 1);
        wchar_t fileTitle[256] = {};
        OPENFILENAMEW dialog{};
        dialog.lStructSize = sizeof dialog;
        dialog.hwndOwner = GetActiveWindow();
        dialog.lpstrFilter = filter.c_str();
        dialog.nFilterIndex = 1;
        dialog.lpstrFile = file;
        dialog.nMaxFile = kDialogTextSize;
        dialog.lpstrFileTitle = fileTitle;
        dialog.nMaxFileTitle = 256;
        dialog.Flags = kOpenFileFlags;
        dialog.lpfnHook = OpenFileHook;
        return GetOpenFileNameW(&dialog) && CopyPath(WideToUtf8(file).c_str(), path);
    }

    bool BrowseForFolder(const char* title, char (&path)[kDialogTextSize]) override {
        wchar_t displayName[MAX_PATH] = {};
        const std::wstring caption = Utf8ToWide(ShownTexts().Text(title));
        BROWSEINFOW browse{};
        browse.hwndOwner = window_;
        browse.pidlRoot = nullptr;
        browse.pszDisplayName = displayName;
        browse.lpszTitle = caption.c_str();
        browse.ulFlags = BIF_RETURNONLYFSDIRS;
        browse.lpfn = BrowseCallback;
        LPITEMIDLIST item = SHBrowseForFolderW(&browse);
        if (item == nullptr) return false;
        wchar_t folder[MAX_PATH] = {};
        bool found = SHGetPathFromIDListW(item, folder) != FALSE;
        CoTaskMemFree(item);
        return found && CopyPath(WideToUtf8(folder).c_str(), path);
    }

    void ShowMessage(const char* text) override {
        MessageBoxW(window_, Utf8ToWide(ShownTexts().Message(text).c_str()).c_str(), L"", MB_OK);
    }
#else
    bool BrowseForFile(const char* program, char (&path)[kDialogTextSize]) override {
        // "<program>\0<program>\0Executable File (*.exe)\0*.exe\0\0"
        char filter[2 * kDialogTextSize + 64] = {};
        size_t at = 0;
        auto append = [&](const char* text) {
            size_t length = std::strlen(text);
            std::memcpy(filter + at, text, length);
            at += length + 1;
        };
        append(program);
        append(program);
        append("Executable File (*.exe)");
        append("*.exe");
        char file[kDialogTextSize] = {};
        std::strncpy(file, program, sizeof file - 1);
        char fileTitle[256] = {};
        OPENFILENAMEA dialog{};
        dialog.lStructSize = sizeof dialog;
        dialog.hwndOwner = GetActiveWindow();
        dialog.lpstrFilter = filter;
        dialog.nFilterIndex = 1;
        dialog.lpstrFile = file;
        dialog.nMaxFile = sizeof file;
        dialog.lpstrFileTitle = fileTitle;
        dialog.nMaxFileTitle = sizeof fileTitle;
        dialog.Flags = kOpenFileFlags;
        dialog.lpfnHook = OpenFileHook;
        return GetOpenFileNameA(&dialog) && CopyPath(file, path);
    }

    bool BrowseForFolder(const char* title, char (&path)[kDialogTextSize]) override {
        char displayName[MAX_PATH] = {};
        BROWSEINFOA browse{};
        browse.hwndOwner = window_;
        browse.pidlRoot = nullptr;
        browse.pszDisplayName = displayName;
        browse.lpszTitle = title;
        browse.ulFlags = BIF_RETURNONLYFSDIRS;
        browse.lpfn = BrowseCallback;
        LPITEMIDLIST item = SHBrowseForFolderA(&browse);
        if (item == nullptr) return false;
        char folder[MAX_PATH] = {};
        bool found = SHGetPathFromIDListA(item, folder) != FALSE;
        CoTaskMemFree(item);
        return found && CopyPath(folder, path);
    }

    void ShowMessage(const char* text) override { MessageBoxA(window_, text, "", MB_OK); }
#endif

private:
    static constexpr int kFirstId = dialog_id::kHardware;
    static constexpr int kLastId = dialog_id::kIdrInterval;
    static constexpr int kHeldIds[] = {1002, 1003, 1004, 1005, 1006, 1007, 1008, 1009, 1011, 1012, 1014, 1018,
                                       1019, 1020, 1021, 1022, 1023, 1024, 1025, 1026, 1027, 1028, 1029};

    HWND Item(int id) const {
        if (id >= kFirstId && id <= kLastId && items_[id - kFirstId] != nullptr) return items_[id - kFirstId];
        return GetDlgItem(window_, id);
    }

    HWND window_;
    HWND items_[kLastId - kFirstId + 1] = {};
};

// One modal run: the logic and, once the window exists, its controls.
struct DialogRun {
    CDialogSetting& dialog;
    std::optional<Win32Controls> controls;
};

INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* run = reinterpret_cast<DialogRun*>(GetWindowLongPtrA(window, DWLP_USER));
    switch (message) {
        case WM_INITDIALOG: {
            run = reinterpret_cast<DialogRun*>(lParam);
            SetWindowLongPtrA(window, DWLP_USER, lParam);
#ifdef TARVO_UTF8_PATHS
            TranslateTemplate(window);
#endif
            run->controls.emplace(window);
            run->dialog.Attach(&*run->controls);
            BOOL focusFirst = run->dialog.OnInitDialog() ? TRUE : FALSE;
            // The first tab stop, OK, gets the focus through the dialog
            // manager, which also makes it the button Enter presses (Wine's
            // plain SetFocus after TRUE would not).
            if (focusFirst) {
                SendMessageA(window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetNextDlgTabItem(window, nullptr, FALSE)),
                             TRUE);
            }
            return focusFirst;
        }
        case WM_COMMAND:
            // IDOK (Enter) and IDCANCEL (Escape) have no handler: only the
            // OK and Cancel buttons end the dialog.
            if (run != nullptr && HIWORD(wParam) == BN_CLICKED) {
                return run->dialog.OnCommand(LOWORD(wParam)) ? TRUE : FALSE;
            }
            // Sent for the user's choices only, never for CB_SETCURSEL.
            if (run != nullptr && HIWORD(wParam) == CBN_SELCHANGE) {
                return run->dialog.OnSelectionChange(LOWORD(wParam)) ? TRUE : FALSE;
            }
            return FALSE;
        default:
            return FALSE;
    }
}

}  // namespace

int RunSettingDialog(CDialogSetting& dialog) {
    DialogRun run{dialog, std::nullopt};
#ifdef TARVO_UTF8_PATHS
    INT_PTR result = DialogBoxParamW(ThisModule(), MAKEINTRESOURCEW(dialog_id::kTemplate), GetActiveWindow(),
                                     DialogProc, reinterpret_cast<LPARAM>(&run));
#else
    INT_PTR result = DialogBoxParamA(ThisModule(), MAKEINTRESOURCEA(dialog_id::kTemplate), GetActiveWindow(),
                                     DialogProc, reinterpret_cast<LPARAM>(&run));
#endif
    dialog.Attach(nullptr);
    return static_cast<int>(result);
}
