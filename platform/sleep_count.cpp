// The sleep counts of sync.h, shared by both backends.
#include "platform/sleep_count.h"

#include <cstring>
#include <mutex>

namespace platform {
namespace {

thread_local const char* threadLabel = "unlabelled";

std::mutex& CountsMutex() {
    static std::mutex mutex;
    return mutex;
}

// Labels are few (one per kind of thread); a vector under a mutex is plenty
// for a count taken at most once a millisecond per thread.
std::vector<SleepCount>& Counts() {
    static std::vector<SleepCount> counts;
    return counts;
}

}  // namespace

void CountSleep() {
    std::lock_guard<std::mutex> guard(CountsMutex());
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
    std::lock_guard<std::mutex> guard(CountsMutex());
    return Counts();
}

void ResetSleepCounts() {
    std::lock_guard<std::mutex> guard(CountsMutex());
    Counts().clear();
}

}  // namespace platform
