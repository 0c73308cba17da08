#include <atomic>
#include <map>
#include <string>
#include <gtest/gtest.h>

#include "platform/sync.h"

namespace {

constexpr uint32_t kBound = 10000;  // generous bound for waits that should end at once

struct Events {
    platform::EventHandle first = platform::CreateManualEvent();
    platform::EventHandle second = platform::CreateManualEvent();
    ~Events() {
        platform::CloseEventHandle(first);
        platform::CloseEventHandle(second);
    }
};

TEST(Event, IsManualResetAndReportsTheFirstOfTwo) {
    Events e;
    ASSERT_NE(e.first, nullptr);
    ASSERT_NE(e.second, nullptr);
    EXPECT_EQ(platform::WaitForEither(e.first, e.second, 0), -1);
    platform::SignalEvent(e.second);
    EXPECT_EQ(platform::WaitForEither(e.first, e.second, kBound), 1);
    EXPECT_EQ(platform::WaitForEither(e.first, e.second, kBound), 1);  // stays signalled
    platform::SignalEvent(e.first);
    EXPECT_EQ(platform::WaitForEither(e.first, e.second, kBound), 0);
    platform::ClearEvent(e.first);
    EXPECT_EQ(platform::WaitForEither(e.first, e.second, kBound), 1);
    platform::ClearEvent(e.second);
    EXPECT_EQ(platform::WaitForEither(e.first, e.second, 0), -1);
}

TEST(Event, WaitTimesOutAndWakesOnASignalFromAnotherThread) {
    Events e;
    uint32_t start = platform::TickCountMs();
    EXPECT_EQ(platform::WaitForEither(e.first, e.second, 30), -1);
    EXPECT_GE(platform::TickCountMs() - start, 25u);

    platform::ThreadHandle thread = platform::StartThread(
        [](void* events) -> uint32_t {
            platform::SleepMs(10);
            platform::SignalEvent(static_cast<Events*>(events)->second);
            return 0;
        },
        &e);
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(platform::WaitForEither(e.first, e.second, kBound), 1);
    platform::WaitThread(thread);
    platform::CloseThreadHandle(thread);
}

// The counts the pipeline benchmark reports: what the timer ended counts on
// the waiting thread's label; a signal, or a poll with no time-out, does not.
TEST(SleepCounts, CountWhatTheTimerEndedPerThread) {
    Events e;
    platform::ResetSleepCounts();
    platform::LabelThreadForSleepCounts("test thread");
    platform::SleepMs(1);                                    // 1
    EXPECT_FALSE(platform::WaitForEvent(e.first, 1));        // 2: timed out
    EXPECT_EQ(platform::WaitForEither(e.first, e.second, 1), -1);  // 3
    EXPECT_FALSE(platform::WaitForEvent(e.first, 0));        // a poll
    EXPECT_EQ(platform::WaitForEither(e.first, e.second, 0), -1);  // a poll
    platform::SignalEvent(e.first);
    EXPECT_TRUE(platform::WaitForEvent(e.first, kBound));    // signalled
    platform::ThreadHandle thread = platform::StartThread(
        [](void*) -> uint32_t {
            platform::LabelThreadForSleepCounts("other thread");
            platform::SleepMs(1);
            return 0;
        },
        nullptr);
    ASSERT_NE(thread, nullptr);
    platform::WaitThread(thread);
    platform::CloseThreadHandle(thread);

    std::map<std::string, uint64_t> counts;
    for (const platform::SleepCount& c : platform::SleepCounts()) counts[c.label] = c.count;
    EXPECT_EQ(counts, (std::map<std::string, uint64_t>{{"test thread", 3}, {"other thread", 1}}));
    platform::ResetSleepCounts();
    EXPECT_TRUE(platform::SleepCounts().empty());
    platform::LabelThreadForSleepCounts(nullptr);
}

struct Counter {
    platform::CriticalSection lock;
    int value = 0;  // under lock
};

TEST(Thread, RunsWithItsArgumentAndIsJoined) {
    Counter counter;
    platform::ThreadHandle threads[4];
    for (auto& thread : threads) {
        thread = platform::StartThread(
            [](void* raw) -> uint32_t {
                auto* c = static_cast<Counter*>(raw);
                for (int i = 0; i < 10000; ++i) {
                    platform::ScopedLock guard(c->lock);
                    ++c->value;
                }
                return 0;
            },
            &counter);
        ASSERT_NE(thread, nullptr);
    }
    for (auto& thread : threads) {
        platform::WaitThread(thread);
        platform::CloseThreadHandle(thread);
    }
    EXPECT_EQ(counter.value, 40000);  // joined: every increment is visible
}

}  // namespace
