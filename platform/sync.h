// Critical sections, manual-reset events, threads, sleeping and the tick count.
#pragma once
#include <cstdint>

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
using EventHandle = void*;

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

// A thread; null means no thread.
using ThreadHandle = void*;
using ThreadFunction = uint32_t (*)(void* argument);

// Starts a thread running at once; null on failure.
ThreadHandle StartThread(ThreadFunction function, void* argument);
// Waits without a time limit until the thread has ended.
void WaitThread(ThreadHandle thread);
// Releases the handle of a thread that has been waited for.
void CloseThreadHandle(ThreadHandle thread);

void SleepMs(uint32_t milliseconds);

// Milliseconds since an arbitrary start, wrapping at 2^32 (GetTickCount).
uint32_t TickCountMs();

}  // namespace platform
