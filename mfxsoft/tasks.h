// Asynchronous tasks of the soft runtime: one runtime thread per stage runs
// them in submission order; sync points name them.
#pragma once
#include <mfxvideo.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>

#include "platform/sync.h"

namespace mfxsoft {

enum class TaskKind { kVpp, kEncode };

// One submitted operation. `work` runs once on the stage's runtime thread;
// its status becomes the task's result.
struct Task {
    Task();
    ~Task();
    Task(const Task&) = delete;
    Task& operator=(const Task&) = delete;

    TaskKind kind = TaskKind::kVpp;
    std::function<mfxStatus()> work;   // set before posting, then runtime thread only
    // Under SyncTable's lock:
    bool done = false;
    mfxStatus status = MFX_ERR_NONE;
    // Signalled (under SyncTable's lock) once `done` is set.
    platform::EventHandle finished;
};

// The sync points of one session. Sync point values are numbers, never
// addresses, so a stale or garbage sync point is refused instead of followed.
class SyncTable {
public:
    // Registers a task and returns its sync point.
    mfxSyncPoint Add(const std::shared_ptr<Task>& task);
    // Marks a task finished with `status` and wakes its waiters. Runtime threads.
    void Finish(Task& task, mfxStatus status);
    // Looks a sync point up; null when unknown.
    std::shared_ptr<Task> Find(mfxSyncPoint point);
    // Waits up to `waitMs` for the task. MFX_WRN_IN_EXECUTION while it is
    // pending; once finished, the task's status, and the sync point is spent.
    mfxStatus Wait(mfxSyncPoint point, uint32_t waitMs);

private:
    platform::CriticalSection lock_;
    uintptr_t next_ = 0x5000;                              // under lock_
    std::map<uintptr_t, std::shared_ptr<Task>> tasks_;     // under lock_
};

// A runtime thread that runs posted tasks in order. Stop() finishes every
// task already posted before it returns.
class TaskQueue {
public:
    TaskQueue(SyncTable& table);
    ~TaskQueue();
    TaskQueue(const TaskQueue&) = delete;
    TaskQueue& operator=(const TaskQueue&) = delete;

    bool Start();
    void Stop();
    void Post(std::shared_ptr<Task> task);
    // Tasks posted and not yet finished.
    size_t Pending();

private:
    static uint32_t Run(void* self);

    SyncTable& table_;
    platform::CriticalSection lock_;
    std::deque<std::shared_ptr<Task>> queue_;  // under lock_
    size_t running_ = 0;                       // under lock_: 1 while a task runs
    bool stopping_ = false;                    // under lock_
    platform::EventHandle wake_ = nullptr;     // set when queue_ is not empty or stopping_
    platform::EventHandle never_ = nullptr;    // second event for WaitForEither
    platform::ThreadHandle thread_ = nullptr;  // owner's thread only
};

}  // namespace mfxsoft
