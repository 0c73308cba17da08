#include "box_watcher.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

// Control ids of the system's message box: its text and its icon.
constexpr int kTextId = 0xFFFF;
constexpr int kIconId = 0x0440;

BOOL CALLBACK CollectBoxes(HWND window, LPARAM list) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    char className[16] = {};
    if (process == GetCurrentProcessId() && IsWindowVisible(window) &&
        GetClassNameA(window, className, sizeof className) > 0 && lstrcmpA(className, "#32770") == 0) {
        reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    }
    return TRUE;
}

std::string WindowText(HWND window) {
    char text[512] = {};
    if (window != nullptr) GetWindowTextA(window, text, sizeof text);
    return text;
}

SeenBox Read(HWND box) {
    SeenBox seen;
    seen.caption = WindowText(box);
    seen.text = WindowText(GetDlgItem(box, kTextId));
    HWND icon = GetDlgItem(box, kIconId);
    HICON shown = icon != nullptr ? reinterpret_cast<HICON>(SendMessageA(icon, STM_GETICON, 0, 0)) : nullptr;
    seen.warningIcon = shown != nullptr && shown == LoadIconA(nullptr, IDI_WARNING);
    seen.hasOwner = GetWindow(box, GW_OWNER) != nullptr;
    int buttons = 0;
    for (HWND child = GetWindow(box, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        char className[16] = {};
        GetClassNameA(child, className, sizeof className);
        if (lstrcmpiA(className, "Button") == 0 && IsWindowVisible(child)) ++buttons;
    }
    seen.okOnly = buttons == 1 && GetDlgItem(box, IDOK) != nullptr;
    return seen;
}

}  // namespace

BoxWatcher::BoxWatcher(DWORD limitMs) : limitMs_(limitMs) {
    callReturned_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    thread_ = CreateThread(nullptr, 0, Run, this, 0, nullptr);
    if (callReturned_ == nullptr || thread_ == nullptr) {
        std::printf("FAIL cannot start the message box watcher (error %lu)\n", GetLastError());
        std::fflush(stdout);
        ExitProcess(2);
    }
}

BoxWatcher::~BoxWatcher() {
    if (thread_ != nullptr) {
        SetEvent(callReturned_);
        WaitForSingleObject(thread_, limitMs_);
        CloseHandle(thread_);
    }
    CloseHandle(callReturned_);
}

WatchResult BoxWatcher::Finish() {
    SetEvent(callReturned_);
    if (WaitForSingleObject(thread_, limitMs_) != WAIT_OBJECT_0) {
        std::printf("FAIL the message box watcher did not end\n");
        std::fflush(stdout);
        ExitProcess(2);
    }
    CloseHandle(thread_);
    thread_ = nullptr;
    return result_;
}

DWORD WINAPI BoxWatcher::Run(LPVOID self) {
    static_cast<BoxWatcher*>(self)->Watch();
    return 0;
}

void BoxWatcher::Watch() {
    DWORD start = GetTickCount();
    std::vector<HWND> dismissed;
    for (;;) {
        bool returned = WaitForSingleObject(callReturned_, 10) == WAIT_OBJECT_0;
        // A box is modal inside the call, so once the call has returned one
        // last look finds any box there was.
        std::vector<HWND> boxes;
        EnumWindows(CollectBoxes, reinterpret_cast<LPARAM>(&boxes));
        for (HWND box : boxes) {
            bool known = false;
            for (HWND old : dismissed) known = known || old == box;
            if (known) continue;
            SeenBox seen = Read(box);
            if (result_.count++ == 0) result_.first = seen;
            dismissed.push_back(box);
            PostMessageA(box, WM_COMMAND, IDOK, 0);
        }
        if (returned) return;
        if (GetTickCount() - start > limitMs_) {
            std::printf("FAIL the call did not return within %lu ms (%d box(es) dismissed)\n", limitMs_,
                        result_.count);
            std::printf("host: 0 passed, 1 failed\n");
            std::fflush(stdout);
            ExitProcess(3);
        }
    }
}
