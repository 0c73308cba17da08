// Finds the message boxes that this process shows while a call runs, reads
// them as the user would see them, and dismisses them with OK.
#pragma once
#include <windows.h>

#include <string>

// One message box as it appeared on the screen.
struct SeenBox {
    std::string caption;
    std::string text;       // the box's text control
    bool warningIcon = false;  // shows the system's warning icon
    bool hasOwner = false;
    bool okOnly = false;       // OK is its one and only button
};

// What a watch saw: how many boxes and the first of them.
struct WatchResult {
    int count = 0;
    SeenBox first;
};

// Watches on its own thread from construction until Finish(). A box is
// dismissed as soon as it has been read. If the watched call has not returned
// within `limitMs` although every box seen was dismissed, the process prints
// the failure and ends: a test must never hang.
class BoxWatcher {
public:
    explicit BoxWatcher(DWORD limitMs = 60000);
    ~BoxWatcher();
    BoxWatcher(const BoxWatcher&) = delete;
    BoxWatcher& operator=(const BoxWatcher&) = delete;

    // Call once the watched call has returned. Returns what was seen.
    WatchResult Finish();

private:
    static DWORD WINAPI Run(LPVOID self);
    void Watch();

    HANDLE callReturned_;  // set by Finish()
    HANDLE thread_;
    DWORD limitMs_;
    WatchResult result_;   // watcher thread only until the thread has ended
};
