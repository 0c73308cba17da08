#include "platform/sync.h"

#include "platform/sleep_count.h"

#include <cerrno>
#include <condition_variable>
#include <ctime>
#include <chrono>
#include <mutex>
#include <new>
#include <pthread.h>
#include <time.h>

namespace platform {

struct CriticalSection::Impl {
    std::recursive_mutex mutex;  // critical sections may be re-entered by their owner
};

CriticalSection::CriticalSection() : impl_(new Impl) {}
CriticalSection::~CriticalSection() { delete impl_; }
void CriticalSection::Enter() { impl_->mutex.lock(); }
void CriticalSection::Leave() { impl_->mutex.unlock(); }

struct EventObject {
    bool signalled = false;
};

struct ThreadObject {
    pthread_t id;
    bool waited;
};

namespace {

// All events share one mutex and condition variable, so that a wait on two
// events needs no lock ordering between them.
std::mutex& EventMutex() {
    static std::mutex mutex;
    return mutex;
}
std::condition_variable& EventChanged() {
    static std::condition_variable changed;
    return changed;
}

struct ThreadStart {
    ThreadFunction function;
    void* argument;
};

void* RunThread(void* raw) {
    ThreadStart start = *static_cast<ThreadStart*>(raw);
    delete static_cast<ThreadStart*>(raw);
    start.function(start.argument);
    return nullptr;
}

}  // namespace

EventHandle CreateManualEvent() { return new (std::nothrow) EventObject; }

void SignalEvent(EventHandle event) {
    if (event == nullptr) return;
    {
        std::lock_guard<std::mutex> guard(EventMutex());
        event->signalled = true;
    }
    EventChanged().notify_all();
}

void ClearEvent(EventHandle event) {
    if (event == nullptr) return;
    std::lock_guard<std::mutex> guard(EventMutex());
    event->signalled = false;
}

void CloseEventHandle(EventHandle event) { delete event; }

int WaitForEither(EventHandle first, EventHandle second, uint32_t timeoutMs) {
    if (first == nullptr || second == nullptr) return -1;
    auto* a = first;
    auto* b = second;
    std::unique_lock<std::mutex> lock(EventMutex());
    auto ready = [&] { return a->signalled || b->signalled; };
    if (timeoutMs == kWaitForever) {
        EventChanged().wait(lock, ready);
    } else if (!EventChanged().wait_for(lock, std::chrono::milliseconds(timeoutMs), ready)) {
        if (timeoutMs != 0) CountSleep();  // a zero wait is a poll, not a sleep
        return -1;
    }
    return a->signalled ? 0 : 1;
}

bool WaitForEvent(EventHandle event, uint32_t timeoutMs) {
    if (event == nullptr) return false;
    auto* e = event;
    std::unique_lock<std::mutex> lock(EventMutex());
    auto ready = [&] { return e->signalled; };
    if (timeoutMs == kWaitForever) {
        EventChanged().wait(lock, ready);
    } else if (!EventChanged().wait_for(lock, std::chrono::milliseconds(timeoutMs), ready)) {
        if (timeoutMs != 0) CountSleep();
        return false;
    }
    return true;
}

ThreadHandle StartThread(ThreadFunction function, void* argument) {
    auto* thread = new (std::nothrow) ThreadObject{{}, false};
    auto* start = new (std::nothrow) ThreadStart{function, argument};
    if (thread == nullptr || start == nullptr || pthread_create(&thread->id, nullptr, RunThread, start) != 0) {
        delete thread;
        delete start;
        return nullptr;
    }
    return thread;
}

void WaitThread(ThreadHandle thread) {
    auto* t = thread;
    if (t == nullptr || t->waited) return;
    pthread_join(t->id, nullptr);
    t->waited = true;
}

void CloseThreadHandle(ThreadHandle thread) {
    auto* t = thread;
    if (t == nullptr) return;
    if (!t->waited) pthread_detach(t->id);  // closing a handle does not stop the thread
    delete t;
}

void SleepMs(uint32_t milliseconds) {
    CountSleep();
    timespec request{static_cast<time_t>(milliseconds / 1000),
                     static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&request, &request) != 0 && errno == EINTR) {
    }
}

// Linux and the BSDs sleep to the millisecond already.
FineTimerResolution::FineTimerResolution() : raised_(false) {}
FineTimerResolution::~FineTimerResolution() = default;

uint32_t TickCountMs() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint32_t>(static_cast<uint64_t>(now.tv_sec) * 1000u +
                                 static_cast<uint64_t>(now.tv_nsec) / 1000000u);
}

}  // namespace platform
