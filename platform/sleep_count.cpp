// The sleep counts of sync.h, shared by both backends.
#include "platform/sleep_count.h"

#include <cstring>

namespace platform {
namespace {

thread_local const char* threadLabel = "unlabelled";

// The OS layer's own lock: mingw's win32 thread model has no std::mutex.
CriticalSection& CountsLock() {
    static CriticalSection lock;
    return lock;
}

// Labels are few (one per kind of thread); a vector under a lock is plenty
// for a count taken at most once a millisecond per thread.
std::vector<SleepCount>& Counts() {
    static std::vector<SleepCount> counts;
    return counts;
}

}  // namespace

void CountSleep() {
    ScopedLock guard(CountsLock());
    for (SleepCount& entry : Counts()) {
        if (std::strcmp(entry.label, threadLabel) == 0) {
            ++entry.count;
            return;
        }
    }
    Counts().push_back(SleepCount{threadLabel, 1});
}

void LabelThreadForSleepCounts(const char* label) { threadLabel = label != nullptr ? label : "unlabelled"; }

std::vector<SleepCount> SleepCounts() {
    ScopedLock guard(CountsLock());
    return Counts();
}

void ResetSleepCounts() {
    ScopedLock guard(CountsLock());
    Counts().clear();
}

}  // namespace platform
