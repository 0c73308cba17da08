#include "mfxsoft/tasks.h"

namespace mfxsoft {

Task::Task() : finished(platform::CreateManualEvent()) {}
Task::~Task() { platform::CloseEventHandle(finished); }

mfxSyncPoint SyncTable::Add(const std::shared_ptr<Task>& task) {
    platform::ScopedLock hold(lock_);
    uintptr_t id = next_;
    next_ += 0x10;
    tasks_[id] = task;
    return reinterpret_cast<mfxSyncPoint>(id);
}

void SyncTable::Finish(Task& task, mfxStatus status) {
    platform::ScopedLock hold(lock_);
    task.status = status;
    task.done = true;
    platform::SignalEvent(task.finished);
}

std::shared_ptr<Task> SyncTable::Find(mfxSyncPoint point) {
    platform::ScopedLock hold(lock_);
    auto it = tasks_.find(reinterpret_cast<uintptr_t>(point));
    return it == tasks_.end() ? nullptr : it->second;
}

mfxStatus SyncTable::Wait(mfxSyncPoint point, uint32_t waitMs) {
    std::shared_ptr<Task> task = Find(point);
    if (!task) return MFX_ERR_NULL_PTR;
    if (waitMs != 0 && task->finished != nullptr) {
        platform::WaitForEither(task->finished, task->finished, waitMs);
    }
    platform::ScopedLock hold(lock_);
    if (!task->done) return MFX_WRN_IN_EXECUTION;
    tasks_.erase(reinterpret_cast<uintptr_t>(point));
    return task->status;
}

TaskQueue::TaskQueue(SyncTable& table)
    : table_(table), wake_(platform::CreateManualEvent()), never_(platform::CreateManualEvent()) {}

TaskQueue::~TaskQueue() {
    Stop();
    platform::CloseEventHandle(wake_);
    platform::CloseEventHandle(never_);
}

bool TaskQueue::Start() {
    if (thread_ != nullptr) return true;
    if (wake_ == nullptr || never_ == nullptr) return false;
    {
        platform::ScopedLock hold(lock_);
        stopping_ = false;
    }
    thread_ = platform::StartThread(&TaskQueue::Run, this);
    return thread_ != nullptr;
}

void TaskQueue::Stop() {
    if (thread_ == nullptr) return;
    {
        platform::ScopedLock hold(lock_);
        stopping_ = true;
        platform::SignalEvent(wake_);
    }
    platform::WaitThread(thread_);
    platform::CloseThreadHandle(thread_);
    thread_ = nullptr;
}

void TaskQueue::Post(std::shared_ptr<Task> task) {
    platform::ScopedLock hold(lock_);
    queue_.push_back(std::move(task));
    platform::SignalEvent(wake_);
}

size_t TaskQueue::Pending() {
    platform::ScopedLock hold(lock_);
    return queue_.size() + running_;
}

uint32_t TaskQueue::Run(void* self) {
    auto* queue = static_cast<TaskQueue*>(self);
    platform::LabelThreadForSleepCounts("runtime");
    for (;;) {
        platform::WaitForEither(queue->wake_, queue->never_, platform::kWaitForever);
        std::shared_ptr<Task> task;
        {
            platform::ScopedLock hold(queue->lock_);
            if (queue->queue_.empty()) {
                if (queue->stopping_) return 0;
                platform::ClearEvent(queue->wake_);
                continue;
            }
            task = std::move(queue->queue_.front());
            queue->queue_.pop_front();
            queue->running_ = 1;
        }
        mfxStatus status = task->work ? task->work() : MFX_ERR_NONE;
        task->work = nullptr;  // drop what the work captured while still on this thread
        queue->table_.Finish(*task, status);
        platform::ScopedLock hold(queue->lock_);
        queue->running_ = 0;
    }
}

}  // namespace mfxsoft
