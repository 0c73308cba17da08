// Critical sections, manual-reset events, threads, sleeping and the tick count.
#pragma once
#include <cstdint>
#include <vector>

namespace platform {

// A lock for short container operations. Not copyable.
class CriticalSection {
public:
    CriticalSection();
    ~CriticalSection();
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;

    void Enter();
    void Leave();

private:
    struct Impl;
    Impl* impl_;
};

// Holds a critical section for the lifetime of the guard.
class ScopedLock {
public:
    explicit ScopedLock(CriticalSection& section) : section_(section) { section_.Enter(); }
    ~ScopedLock() { section_.Leave(); }
    ScopedLock(const ScopedLock&) = delete;
    ScopedLock& operator=(const ScopedLock&) = delete;

private:
    CriticalSection& section_;
};

// A manual-reset event; null means no event.
struct EventObject;
using EventHandle = EventObject*;

// Creates a non-signalled manual-reset event; null on failure.
EventHandle CreateManualEvent();
void SignalEvent(EventHandle event);
void ClearEvent(EventHandle event);
void CloseEventHandle(EventHandle event);

inline constexpr uint32_t kWaitForever = 0xFFFFFFFFu;

// Waits until `first` or `second` is signalled (WaitForMultipleObjects, wait
// any). Returns 0 for `first`, 1 for `second`, -1 on time-out or failure. When
// both are signalled it reports `first`.
int WaitForEither(EventHandle first, EventHandle second, uint32_t timeoutMs);

// Waits until `event` is signalled (WaitForSingleObject): true when it is,
// false on time-out or failure.
bool WaitForEvent(EventHandle event, uint32_t timeoutMs);

// A thread; null means no thread.
struct ThreadObject;
using ThreadHandle = ThreadObject*;
using ThreadFunction = uint32_t (*)(void* argument);

// Starts a thread running at once; null on failure.
ThreadHandle StartThread(ThreadFunction function, void* argument);
// Waits without a time limit until the thread has ended.
void WaitThread(ThreadHandle thread);
// Releases the handle of a thread that has been waited for.
void CloseThreadHandle(ThreadHandle thread);

// Sleeps; counted (see SleepCounts).
void SleepMs(uint32_t milliseconds);

// While one exists, the system's timer runs at 1 ms resolution: on Windows a
// sleep or a timed wait otherwise lasts at least a tick (about 15.6 ms).
// timeBeginPeriod/timeEndPeriod there; nothing elsewhere, where sleeps are
// already that fine. For the duration of an export; nestable.
class FineTimerResolution {
public:
    FineTimerResolution();
    ~FineTimerResolution();
    FineTimerResolution(const FineTimerResolution&) = delete;
    FineTimerResolution& operator=(const FineTimerResolution&) = delete;

private:
    bool raised_;
};

// Every wait that the timer ended rather than a signal: SleepMs, and the
// waits above when a time-out other than 0 (a poll) ran out. Counted per thread label, so that a
// benchmark can show which thread still waits on the timer. Any thread.
struct SleepCount {
    const char* label;  // as given to LabelThreadForSleepCounts, or "unlabelled"
    uint64_t count;
};
// Names the calling thread's sleeps from now on; `label` must outlive the
// counts (a string literal).
void LabelThreadForSleepCounts(const char* label);
// The counts since the start or the last reset, one entry per label that slept.
std::vector<SleepCount> SleepCounts();
void ResetSleepCounts();

// Milliseconds since an arbitrary start, wrapping at 2^32 (GetTickCount).
uint32_t TickCountMs();

}  // namespace platform
