#include "platform/sync.h"

#include <new>
#include <windows.h>
#include <timeapi.h>

#include "platform/sleep_count.h"

namespace platform {

struct CriticalSection::Impl {
    CRITICAL_SECTION section;
};

CriticalSection::CriticalSection() : impl_(new Impl) { InitializeCriticalSection(&impl_->section); }
CriticalSection::~CriticalSection() {
    DeleteCriticalSection(&impl_->section);
    delete impl_;
}
void CriticalSection::Enter() { EnterCriticalSection(&impl_->section); }
void CriticalSection::Leave() { LeaveCriticalSection(&impl_->section); }

EventHandle CreateManualEvent() { return static_cast<EventHandle>(CreateEventA(nullptr, TRUE, FALSE, nullptr)); }
void SignalEvent(EventHandle event) { SetEvent(static_cast<HANDLE>(event)); }
void ClearEvent(EventHandle event) { ResetEvent(static_cast<HANDLE>(event)); }
void CloseEventHandle(EventHandle event) {
    if (event != nullptr) CloseHandle(static_cast<HANDLE>(event));
}

int WaitForEither(EventHandle first, EventHandle second, uint32_t timeoutMs) {
    HANDLE events[2] = {static_cast<HANDLE>(first), static_cast<HANDLE>(second)};
    DWORD result = WaitForMultipleObjects(2, events, FALSE, timeoutMs);
    if (result == WAIT_OBJECT_0) return 0;
    if (result == WAIT_OBJECT_0 + 1) return 1;
    if (result == WAIT_TIMEOUT && timeoutMs != 0) CountSleep();  // a zero wait is a poll, not a sleep
    return -1;
}

bool WaitForEvent(EventHandle event, uint32_t timeoutMs) {
    const DWORD result = WaitForSingleObject(static_cast<HANDLE>(event), timeoutMs);
    if (result == WAIT_TIMEOUT && timeoutMs != 0) CountSleep();
    return result == WAIT_OBJECT_0;
}

namespace {

struct ThreadStart {
    ThreadFunction function;
    void* argument;
};

DWORD WINAPI RunThread(LPVOID raw) {
    ThreadStart start = *static_cast<ThreadStart*>(raw);
    delete static_cast<ThreadStart*>(raw);
    return start.function(start.argument);
}

}  // namespace

ThreadHandle StartThread(ThreadFunction function, void* argument) {
    auto* start = new (std::nothrow) ThreadStart{function, argument};
    if (start == nullptr) return nullptr;
    HANDLE thread = CreateThread(nullptr, 0, RunThread, start, 0, nullptr);
    if (thread == nullptr) delete start;
    return static_cast<ThreadHandle>(thread);
}

void WaitThread(ThreadHandle thread) {
    if (thread != nullptr) WaitForSingleObject(static_cast<HANDLE>(thread), INFINITE);
}

void CloseThreadHandle(ThreadHandle thread) {
    if (thread != nullptr) CloseHandle(static_cast<HANDLE>(thread));
}

void SleepMs(uint32_t milliseconds) {
    CountSleep();
    Sleep(milliseconds);
}

// winmm.dll ships with every Windows. The resolution is process-wide and
// counted by the system, so nested requests are fine.
FineTimerResolution::FineTimerResolution() : raised_(timeBeginPeriod(1) == TIMERR_NOERROR) {}
FineTimerResolution::~FineTimerResolution() {
    if (raised_) timeEndPeriod(1);
}

uint32_t TickCountMs() { return GetTickCount(); }

}  // namespace platform
